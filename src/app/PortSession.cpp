#include "app/PortSession.h"

#include <algorithm>

#include "app/InstallSecret.h"
#include "app/LineCheck.h"
#include "app/LocalSide.h"
#include "app/MappingTable.h"
#include "app/PcpMapper.h"
#include "app/PortMappingRule.h"
#include "app/RecordSweep.h"
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

// This machine's address towards a PCP gateway, as its requests name it.
std::string ClientTowards(const pcp::GatewayAnswer& gateway) {
    std::uint32_t local = 0;
    return platform::LocalAddressTowards(gateway.gateway, &local) ? platform::FormatIPv4(local)
                                                                  : std::string();
}

// The outside address the probe's NAT-PMP question got, if any.
std::optional<std::string> ProbedOutside(const pcp::GatewayAnswer& gateway) {
    if (gateway.addressAnswered && gateway.addressResult == pcp::ResultCode::kSuccess) {
        return platform::FormatIPv4(gateway.externalAddress);
    }
    return std::nullopt;
}

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
    // A router that answers only PCP / NAT-PMP is used once a short grace
    // has passed, instead of after the whole search.
    SearchFallback fallback;
    fallback.socket = probe.Handle();
    fallback.settled = [&probe] { return probe.TakeWaiting(); };
    if (gateway.Discover(address, location, search, probing ? &fallback : nullptr) != 0) {
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
    BeginRecord();
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kOpen, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        OpenOverPcp(*pcpGateway, gateway.localIpv6, crlfRules);
        return;
    }
    MadeMappings made(record_, MappingPlace(gateway));
    UpnpIpv4Mapper mapper(gateway, made);
    MadePinholes madePinholes(record_, UpnpIpv6Pinholes::PlaceOf(gateway, ruleList.name));
    std::optional<UpnpIpv6Pinholes> pinholes = Pinholes(gateway, Operation::kOpen, madePinholes);
    const std::vector<PortMappingRule> rules = RulesOf(crlfRules);
    // Before the rules, so that a rule that changed finds its port free.
    const SweepScope scope{rules, ruleList.name, ruleList.sweep};
    RecordSweep sweep(record_, report_);
    sweep.Mappings(gateway, made, scope);
    if (pinholes) {
        sweep.Pinholes(*pinholes, madePinholes, scope);
    }
    LocalSide local(namePrograms, socketTables);
    LineCheck line(gateway.localIpv6, Operation::kOpen, report_,
                   [&mapper](std::string* a) { return mapper.OutsideAddress(a); });
    line.BeforeRules();
    std::string ipv6Reachable;
    for (const PortMappingRule& rule : rules) {
        report_(RuleStarted{Operation::kOpen, rule});
        RuleResult result;
        result.outsideSet = line.Unusable(rule.ExternalPortNumber());
        if (!result.outsideSet) {
            result = mapper.Open(rule);
        }
        if (!result.Mapped()) {
            report_(RuleFailed{rule, result});
            if (line.WantsOutsideAfter(result)) {
                line.AskOutside();
            }
        } else {
            report_(RuleOpened{rule, result});
            report_(local.Check(rule, false, gateway.GetLocalAddress().ToText()));
            // Asked once a mapping stands, so that the answer comes from the
            // service that holds it; one question per run.
            line.AskOutside();
        }
        if (pinholes && UpnpIpv6Pinholes::Applies(rule)) {
            FailureReason why;
            if (pinholes->Open(rule, &why)) {
                report_(PinholeOpened{rule, pinholes->Address()});
                report_(local.Check(rule, true, pinholes->Address()));
                ipv6Reachable = pinholes->Address();
            } else {
                report_(PinholeFailed{Operation::kOpen, rule, pinholes->Address(), why});
            }
        }
    }
    line.Tell(true);
    if (line.Outside()) {
        report_(OutsideAddress{*line.Outside(), true, ipv6Reachable});
    }
    EndRun(Operation::kOpen);
}

std::optional<UpnpIpv6Pinholes> PortSession::Pinholes(const CRouterDevice& gateway,
                                                      Operation operation, MadePinholes& made) {
    if (!openIpv6) {
        return std::nullopt;
    }
    UpnpIpv6Pinholes pinholes(gateway, made);
    if (std::optional<PinholesUnavailable> why = pinholes.Prepare(operation == Operation::kOpen)) {
        report_(*why);
        return std::nullopt;
    }
    return pinholes;
}

void PortSession::Close(const std::string& crlfRules) {
    BeginRecord();
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kClose, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        CloseOverPcp(*pcpGateway, crlfRules);
        return;
    }
    MadeMappings made(record_, MappingPlace(gateway));
    UpnpIpv4Mapper mapper(gateway, made);
    MadePinholes madePinholes(record_, UpnpIpv6Pinholes::PlaceOf(gateway, ruleList.name));
    std::optional<UpnpIpv6Pinholes> pinholes = Pinholes(gateway, Operation::kClose, madePinholes);
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
    EndRun(Operation::kClose);
}

void PortSession::List() {
    BeginRecord();
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kList, gateway, &pcpGateway)) {
        return;
    }
    if (pcpGateway) {
        if (const std::optional<std::string> outside = ProbedOutside(*pcpGateway)) {
            LineCheck line(gateway.localIpv6, Operation::kList, report_);
            line.Learn(*outside);
            line.Tell(true);
        }
        report_(PcpListed{MadeMappings(record_, PcpPlace(*pcpGateway)).Entries()});
        EndRun(Operation::kList);
        return;
    }
    MadeMappings made(record_, MappingPlace(gateway));
    UpnpIpv4Mapper mapper(gateway, made);
    LineCheck line(gateway.localIpv6, Operation::kList, report_,
                   [&mapper](std::string* a) { return mapper.OutsideAddress(a); });
    line.BeforeRules();
    TableListed table;
    FailureReason failure;
    const bool read = mapper.ReadTable(&table, &failure);
    RecordSweep(record_, report_).Listed(made, table);
    report_(table);
    if (!read) {
        report_(TableFailed{failure});
    }
    // The firewall service has no action that lists pinholes: those this
    // process opened, where the router offers them or some were opened.
    const MadePinholes madePinholes(record_, UpnpIpv6Pinholes::PlaceOf(gateway, ruleList.name));
    if (openIpv6 &&
        (gateway.ipv6.state == Ipv6Gateway::State::kFound || !madePinholes.Entries().empty())) {
        report_(PinholesListed{madePinholes.Entries()});
    }
    line.AskOutside();
    line.Tell(true);
    if (line.Outside()) {
        const std::string outside = OneLineText(*line.Outside());
        if (!outside.empty()) {
            report_(OutsideAddress{outside, false, {}});
        }
    }
    EndRun(Operation::kList);
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

void PortSession::OpenOverPcp(const pcp::GatewayAnswer& gateway,
                              const std::vector<platform::LocalIpv6>& localIpv6,
                              const std::string& crlfRules) {
    const pcp::Budget budget(kPcpMappingsMs);
    MadeMappings made(record_, PcpPlace(gateway));
    PcpMapper mapper(gateway, pcpServerPort, Secret(), budget, made);
    std::optional<std::uint32_t> lifetime;
    LocalSide local(namePrograms, socketTables);
    std::uint32_t here = 0;
    platform::LocalAddressTowards(gateway.gateway, &here);
    std::string outside = ProbedOutside(gateway).value_or(std::string());
    LineCheck line(localIpv6, Operation::kOpen, report_);
    if (!outside.empty()) {
        line.Learn(outside);
        line.Tell(false);
    }
    const std::vector<PortMappingRule> rules = RulesOf(crlfRules);
    RecordSweep(record_, report_)
        .Pcp(mapper, made, ClientTowards(gateway),
             SweepScope{rules, ruleList.name, ruleList.sweep});
    for (const PortMappingRule& rule : rules) {
        report_(RuleStarted{Operation::kOpen, rule});
        const pcp::MapResult r = mapper.Open(rule);
        if (r.outcome != pcp::MapOutcome::kDone) {
            report_(PcpRuleFailed{Operation::kOpen, rule, r.outcome, r.code, r.rawCode});
            continue;
        }
        if (!lifetime) {
            lifetime = r.lifetime;
        }
        if (r.externalAddressKnown) {
            outside = platform::FormatIPv4(r.externalAddress);
            line.Learn(outside);
        }
        // Such a router may give another port than the rule's; the one it
        // gave is what the line must carry.
        RuleResult offSet;
        offSet.outsideSet = line.Unusable(r.externalPort);
        if (offSet.outsideSet) {
            report_(RuleFailed{rule, offSet});
        } else {
            report_(PcpRuleOpened{rule, r.externalPort});
            report_(local.Check(rule, false, platform::FormatIPv4(here)));
        }
        line.Tell(false);
    }
    line.Tell(true);
    // As with UPnP: the outside address is told once a mapping stands.
    if (lifetime) {
        report_(PcpLifetime{*lifetime});
        if (!outside.empty()) {
            report_(OutsideAddress{outside, true, {}});
        }
    }
    EndRun(Operation::kOpen);
}

void PortSession::CloseOverPcp(const pcp::GatewayAnswer& gateway, const std::string& crlfRules) {
    const pcp::Budget budget(kPcpMappingsMs);
    MadeMappings made(record_, PcpPlace(gateway));
    PcpMapper mapper(gateway, pcpServerPort, Secret(), budget, made);
    for (const PortMappingRule& rule : RulesOf(crlfRules)) {
        report_(RuleStarted{Operation::kClose, rule});
        const pcp::MapResult r = mapper.Close(rule);
        if (r.outcome == pcp::MapOutcome::kDone) {
            report_(RuleClosed{rule, true});
        } else {
            report_(PcpRuleFailed{Operation::kClose, rule, r.outcome, r.code, r.rawCode});
        }
    }
    EndRun(Operation::kClose);
}

void PortSession::CloseAll() {
    BeginRecord();
    if (record_.Entries().empty()) {
        report_(RunStarted{Operation::kClose});
        report_(NothingRecorded{});
        EndRun(Operation::kClose);
        return;
    }
    CRouterDevice gateway;
    std::optional<pcp::GatewayAnswer> pcpGateway;
    if (!FindGateway(Operation::kClose, gateway, &pcpGateway)) {
        return;
    }
    RecordSweep sweep(record_, report_);
    if (pcpGateway) {
        const pcp::Budget budget(kPcpMappingsMs);
        MadeMappings made(record_, PcpPlace(*pcpGateway));
        PcpMapper mapper(*pcpGateway, pcpServerPort, Secret(), budget, made);
        sweep.ClosePcp(mapper, made, ClientTowards(*pcpGateway));
    } else {
        MadeMappings made(record_, MappingPlace(gateway));
        sweep.CloseMappings(gateway, made);
        MadePinholes madePinholes(record_, UpnpIpv6Pinholes::PlaceOf(gateway, ruleList.name));
        if (std::optional<UpnpIpv6Pinholes> pinholes =
                Pinholes(gateway, Operation::kClose, madePinholes)) {
            sweep.ClosePinholes(*pinholes, madePinholes);
        }
    }
    TellWhatStays();
    EndRun(Operation::kClose);
}

void PortSession::TellWhatStays() {
    std::vector<RecordedElsewhere> stays;
    for (const OpenedEntry& e : record_.Entries()) {
        auto same = std::find_if(stays.begin(), stays.end(), [&](const RecordedElsewhere& r) {
            OpenedEntry router;
            router.routerUdn = r.router;
            router.routerAddress = r.address;
            return SameRouter(router, e);
        });
        if (same == stays.end()) {
            stays.push_back(RecordedElsewhere{e.routerUdn, e.routerAddress, 0});
            same = stays.end() - 1;
        }
        ++same->entries;
    }
    for (const RecordedElsewhere& r : stays) {
        report_(r);
    }
}

void PortSession::BeginRecord() {
    record_.Refresh();
    TellRecordTroubles();
}

void PortSession::EndRun(Operation operation) {
    record_.Flush();
    TellRecordTroubles();
    report_(RunEnded{operation});
}

void PortSession::TellRecordTroubles() {
    for (OpenedRecord::Trouble& t : record_.TakeTroubles()) {
        report_(RecordTrouble{std::move(t)});
    }
}

RecordPlace PortSession::MappingPlace(const CRouterDevice& gateway) const {
    return RecordPlace{OpenedEntry::Kind::kMapping, gateway.udn, gateway.address.ToText(),
                       ruleList.name};
}

RecordPlace PortSession::PcpPlace(const pcp::GatewayAnswer& gateway) const {
    return RecordPlace{
        OpenedEntry::Kind::kPcp, {}, platform::FormatIPv4(gateway.gateway), ruleList.name};
}
