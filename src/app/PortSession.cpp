#include "app/PortSession.h"

#include <algorithm>

#include "app/InstallSecret.h"
#include "app/MappingTable.h"
#include "app/PcpMapper.h"
#include "app/PortMappingRule.h"
#include "app/UpnpIpv4Mapper.h"
#include "app/UpnpIpv6Pinholes.h"
#include "platform/Gateways.h"
#include "platform/Socket.h"

using namespace session;

namespace {

// The probe's answers have mostly come in while the search listened; a
// gateway still silent gets one more send and this long to answer it.
constexpr unsigned kProbeGraceMs = 250;
constexpr unsigned kProbeLeastMs = 1000;  // counted from the first send
// One deadline for all the PCP / NAT-PMP requests of a run.
constexpr unsigned kPcpMappingsMs = 5000;

}  // namespace

bool PortSession::FindGateway(Operation operation, CRouterDevice& gateway,
                              std::optional<pcp::GatewayAnswer>* pcpGateway) {
    report_(RunStarted{operation});
    // Sent in the same instant as the search and read only when the search
    // found nothing usable, so that a UPnP run waits for nothing extra.
    pcp::GatewayProbe probe(
        targets.useDefaultGateways ? platform::DefaultGateways(10) : pcpGateways, pcpServerPort);
    const std::uint32_t probeSent = platform::TickCount();
    const bool probing = probe.Send();
    std::string location;
    IpAddress address;
    gateway.onPassedOver = [this](const std::string& passed, const FailureReason& why) {
        report_(GatewayPassedOver{passed, why});
    };
    DiscoveryTargets search = targets;
    search.searchIpv6 = targets.searchIpv6 && openIpv6;
    if (gateway.Discover(address, location, search) != 0) {
        if (probing) {
            const unsigned searched = platform::ElapsedSince(probeSent);
            probe.Collect(
                pcp::Budget(probeSent, std::max(searched + kProbeGraceMs, kProbeLeastMs)));
            if (const pcp::GatewayAnswer* chosen = probe.Chosen()) {
                *pcpGateway = *chosen;
                report_(PcpGatewayFound{chosen->protocol, platform::FormatIPv4(chosen->gateway)});
                return true;
            }
        }
        report_(GatewayNotFound{gateway.LastFailure()});
        report_(RunEnded{operation});
        return false;
    }
    report_(GatewayFound{address.ToText(), location});
    return true;
}

void PortSession::Open(const std::string& crlfRules) {
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kOpen, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        OpenOverPcp(*pcpGateway, crlfRules);
        return;
    }
    UpnpIpv4Mapper mapper(gateway, made_);
    std::optional<UpnpIpv6Pinholes> pinholes = Pinholes(gateway, Operation::kOpen);
    bool outsideAsked = false;
    bool outsideKnown = false;
    std::string outside;
    std::string ipv6Reachable;
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kOpen, rule});
        const RuleResult result = mapper.Open(rule);
        if (!result.Mapped()) {
            report_(RuleFailed{rule, result});
        } else {
            report_(RuleOpened{rule, result});
            // Asked once a mapping stands, so that the answer comes from the
            // service that holds it; one question per run.
            if (!outsideAsked) {
                outsideAsked = true;
                outsideKnown = mapper.OutsideAddress(&outside);
            }
        }
        if (pinholes && UpnpIpv6Pinholes::Applies(rule)) {
            FailureReason why;
            if (pinholes->Open(rule, &why)) {
                report_(PinholeOpened{rule, pinholes->Address()});
                ipv6Reachable = pinholes->Address();
            } else {
                report_(PinholeFailed{Operation::kOpen, rule, pinholes->Address(), why});
            }
        }
    }
    if (outsideKnown) {
        report_(OutsideAddress{outside, true, ipv6Reachable});
    }
    report_(RunEnded{Operation::kOpen});
}

std::optional<UpnpIpv6Pinholes> PortSession::Pinholes(const CRouterDevice& gateway,
                                                      Operation operation) {
    if (!openIpv6) {
        return std::nullopt;
    }
    UpnpIpv6Pinholes pinholes(gateway, pinholes_);
    if (std::optional<PinholesUnavailable> why = pinholes.Prepare(operation == Operation::kOpen)) {
        report_(*why);
        return std::nullopt;
    }
    return pinholes;
}

void PortSession::Close(const std::string& crlfRules) {
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kClose, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        CloseOverPcp(*pcpGateway, crlfRules);
        return;
    }
    UpnpIpv4Mapper mapper(gateway, made_);
    std::optional<UpnpIpv6Pinholes> pinholes = Pinholes(gateway, Operation::kClose);
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
        if (pinholes && UpnpIpv6Pinholes::Applies(rule)) {
            FailureReason why;
            switch (pinholes->Close(rule, &why)) {
                case UpnpIpv6Pinholes::CloseOutcome::kClosed:
                    report_(PinholeClosed{rule, pinholes->Address(), true});
                    break;
                case UpnpIpv6Pinholes::CloseOutcome::kNothingThere:
                    report_(PinholeClosed{rule, pinholes->Address(), false});
                    break;
                case UpnpIpv6Pinholes::CloseOutcome::kFailed:
                    report_(PinholeFailed{Operation::kClose, rule, pinholes->Address(), why});
                    break;
            }
        }
    }
    report_(RunEnded{Operation::kClose});
}

void PortSession::List() {
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kList, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        report_(PcpListed{made_.Entries()});
        report_(RunEnded{Operation::kList});
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
    // The firewall service has no action that lists pinholes: those this
    // process opened, where the router offers them or some were opened.
    if (openIpv6 &&
        (gateway.ipv6.state == Ipv6Gateway::State::kFound || !pinholes_.Entries().empty())) {
        report_(PinholesListed{pinholes_.Entries()});
    }
    std::string outside;
    if (mapper.OutsideAddress(&outside)) {
        outside = OneLineText(outside);
        if (!outside.empty()) {
            report_(OutsideAddress{outside, false, {}});
        }
    }
    report_(RunEnded{Operation::kList});
}

const std::string& PortSession::Secret() {
    if (installSecret.empty() && secretSource) {
        installSecret = secretSource();
    } else if (installSecret.empty()) {
        Profile profile;
        installSecret = InstallSecret(profile);
    }
    return installSecret;
}

void PortSession::OpenOverPcp(const pcp::GatewayAnswer& gateway, const std::string& crlfRules) {
    const pcp::Budget budget(kPcpMappingsMs);
    PcpMapper mapper(gateway, pcpServerPort, Secret(), budget, made_);
    std::optional<std::uint32_t> lifetime;
    std::string outside;
    if (gateway.addressAnswered && gateway.addressResult == pcp::ResultCode::kSuccess) {
        outside = platform::FormatIPv4(gateway.externalAddress);
    }
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kOpen, rule});
        const pcp::MapResult r = mapper.Open(rule);
        if (r.outcome != pcp::MapOutcome::kDone) {
            report_(PcpRuleFailed{Operation::kOpen, rule, r.outcome, r.code, r.rawCode});
            continue;
        }
        report_(PcpRuleOpened{rule, r.externalPort});
        if (!lifetime) {
            lifetime = r.lifetime;
        }
        if (r.externalAddressKnown) {
            outside = platform::FormatIPv4(r.externalAddress);
        }
    }
    // As with UPnP: the outside address is told once a mapping stands.
    if (lifetime) {
        report_(PcpLifetime{*lifetime});
        if (!outside.empty()) {
            report_(OutsideAddress{outside, true, {}});
        }
    }
    report_(RunEnded{Operation::kOpen});
}

void PortSession::CloseOverPcp(const pcp::GatewayAnswer& gateway, const std::string& crlfRules) {
    const pcp::Budget budget(kPcpMappingsMs);
    PcpMapper mapper(gateway, pcpServerPort, Secret(), budget, made_);
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kClose, rule});
        const pcp::MapResult r = mapper.Close(rule);
        if (r.outcome == pcp::MapOutcome::kDone) {
            report_(RuleClosed{rule, true});
        } else {
            report_(PcpRuleFailed{Operation::kClose, rule, r.outcome, r.code, r.rawCode});
        }
    }
    report_(RunEnded{Operation::kClose});
}
