#include "app/PortSession.h"

#include "app/MappingTable.h"
#include "app/PortMappingRule.h"
#include "app/UpnpIpv4Mapper.h"

using namespace session;

bool PortSession::FindGateway(Operation operation, CRouterDevice& gateway) {
    report_(RunStarted{operation});
    std::string location;
    IpAddress address;
    gateway.onPassedOver = [this](const std::string& passed, const FailureReason& why) {
        report_(GatewayPassedOver{passed, why});
    };
    if (gateway.Discover(address, location, targets) != 0) {
        report_(GatewayNotFound{gateway.LastFailure()});
        report_(RunEnded{operation});
        return false;
    }
    report_(GatewayFound{address.ToText(), location});
    return true;
}

void PortSession::Open(const std::string& crlfRules) {
    CRouterDevice gateway;
    if (!FindGateway(Operation::kOpen, gateway)) {
        return;
    }
    UpnpIpv4Mapper mapper(gateway, made_);
    bool outsideAsked = false;
    bool outsideKnown = false;
    std::string outside;
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kOpen, rule});
        const RuleResult result = mapper.Open(rule);
        if (!result.Mapped()) {
            report_(RuleFailed{rule, result});
            continue;
        }
        report_(RuleOpened{rule, result});
        // Asked once a mapping stands, so that the answer comes from the
        // service that holds it; one question per run.
        if (!outsideAsked) {
            outsideAsked = true;
            outsideKnown = mapper.OutsideAddress(&outside);
        }
    }
    if (outsideKnown) {
        report_(OutsideAddress{outside, true});
    }
    report_(RunEnded{Operation::kOpen});
}

void PortSession::Close(const std::string& crlfRules) {
    CRouterDevice gateway;
    if (!FindGateway(Operation::kClose, gateway)) {
        return;
    }
    UpnpIpv4Mapper mapper(gateway, made_);
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kClose, rule});
        FailureReason failure;
        switch (mapper.Close(rule, &failure)) {
            case UpnpIpv4Mapper::CloseOutcome::kClosed:
                report_(RuleClosed{rule, true});
                break;
            case UpnpIpv4Mapper::CloseOutcome::kNothingThere:
                report_(RuleClosed{rule, false});
                break;
            case UpnpIpv4Mapper::CloseOutcome::kFailed:
                report_(CloseFailed{rule, failure});
                break;
        }
    }
    report_(RunEnded{Operation::kClose});
}

void PortSession::List() {
    CRouterDevice gateway;
    if (!FindGateway(Operation::kList, gateway)) {
        return;
    }
    UpnpIpv4Mapper mapper(gateway, made_);
    TableListed table;
    FailureReason failure;
    const bool read = mapper.ReadTable(&table, &failure);
    report_(table);
    if (!read) {
        report_(TableFailed{failure});
    }
    std::string outside;
    if (mapper.OutsideAddress(&outside)) {
        outside = OneLineText(outside);
        if (!outside.empty()) {
            report_(OutsideAddress{outside, false});
        }
    }
    report_(RunEnded{Operation::kList});
}
