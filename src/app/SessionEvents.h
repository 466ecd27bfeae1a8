// What a port session reports, as typed events. The session only tells what
// happened; each receiver (the Japanese log, pontaro-cli's --verbose and
// --json, the windows, the tests) makes of it what it needs, so that nobody
// takes log text apart again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "app/ApplyRule.h"
#include "app/FirewallVerdict.h"
#include "app/ListenerMatch.h"
#include "app/OpenedRecord.h"
#include "app/PortMappingRule.h"
#include "line/Line.h"
#include "pcp/MapExchange.h"
#include "upnp/FailureReason.h"
#include "upnp/PortMappingEntry.h"

namespace session {

enum class Operation { kOpen, kClose, kList };

// Announced before a periodic run by whoever keeps the clock (the window's
// timer, pontaro-cli --watch); `time` is seconds since 1970.
struct PeriodicRun {
    std::int64_t time = 0;
};
// The rule text could not be written to the profile; the run goes on.
struct SettingsNotSaved {};
// The entry that starts the window at login could not be written (on) or
// removed (off).
struct LoginStartNotChanged {
    bool on = false;
};

struct RunStarted {
    Operation operation = Operation::kOpen;
};
// A device answered the search but was not taken, and why (during the search).
struct GatewayPassedOver {
    std::string location;
    FailureReason reason;
};
// No gateway: the run ends with RunEnded next.
struct GatewayNotFound {
    FailureReason reason;
};
struct GatewayFound {
    std::string address;   // dotted
    std::string location;  // the description's URL
};
// Before each rule's request (opening or closing).
struct RuleStarted {
    Operation operation = Operation::kOpen;
    PortMappingRule rule;
};
// The router holds the mapping now (result.kind says how it came about).
struct RuleOpened {
    PortMappingRule rule;
    RuleResult result;
};
struct RuleFailed {
    PortMappingRule rule;
    RuleResult result;  // result.failure: why the router refused
};
struct RuleClosed {
    PortMappingRule rule;
    bool wasThere = true;  // false: the router had no such mapping
};
struct CloseFailed {
    PortMappingRule rule;
    FailureReason reason;
};
// The router's table as far as it could be read.
struct TableListed {
    std::string localAddress;  // this machine, on the interface that reaches the router
    std::vector<PortMappingEntry> entries;
    bool complete = false;  // the router said where the table ends (or the cap was reached)
    bool capped = false;
    // Beside each entry: whether Pontaro made it (its record says so).
    std::vector<bool> madeByPontaro;
};
struct TableFailed {
    FailureReason reason;
};
// The router's outside address as it stated it (made one line).
struct OutsideAddress {
    std::string address;
    bool warnIfNotPublic = false;  // opening warns; the listing only shows it
    // Where the opened ports are reached over IPv6 (a pinhole stands); empty: nowhere.
    std::string ipv6Address;
};
struct RunEnded {
    Operation operation = Operation::kOpen;
};

// Right after each RuleOpened, PcpRuleOpened and PinholeOpened: who on this
// machine listens behind the port now, and whether its firewall would let
// the packets in. What was true at that moment; the next run looks again.
struct ListenerChecked {
    PortMappingRule rule;
    bool pinhole = false;     // the rule's IPv6 pinhole, else its IPv4 mapping
    std::string forwardedTo;  // the address the router forwards to
    LocalListener listener;
    FirewallVerdict firewall = FirewallVerdict::kUnknown;
};

// The kind of line this machine is on, once a run knows it (LineCheck.h):
// MAP-E, before the first rule, when the router's outside address is the
// one this machine's IPv6 prefix gives; DS-Lite, after the rules, when that
// address says so. Once a run.
struct LineFound {
    Operation operation = Operation::kOpen;
    line::Line line;
};
// This machine's IPv6 prefix belongs to a MAP-E rule, but the router's
// outside address is not the one the rule gives: a fixed-address plan, where
// every port works. Nothing is claimed of ports (only --verbose tells).
struct LineNotConfirmed {
    line::Service service = line::Service::kV6Plus;
    std::string computed;  // the rule's IPv4 address, dotted
    std::string outside;   // as the router stated it
};

// PCP and NAT-PMP: no UPnP gateway was usable, and the default gateway
// answered on port 5351. The rules go to it instead (RuleStarted before each).
struct PcpGatewayFound {
    pcp::GatewayProtocol protocol = pcp::GatewayProtocol::kPcp;
    std::string address;  // dotted
};
// The router holds the mapping now.
struct PcpRuleOpened {
    PortMappingRule rule;
    std::uint16_t externalPort = 0;  // what the router really opened
};
// Opening or closing a rule failed: no answer, or the router's result code.
struct PcpRuleFailed {
    Operation operation = Operation::kOpen;
    PortMappingRule rule;
    pcp::MapOutcome outcome = pcp::MapOutcome::kNoAnswer;
    pcp::ResultCode code = pcp::ResultCode::kUnknown;
    unsigned rawCode = 0;
};
// The lifetime the router granted, once per run (after its first mapping).
// The mapping ends after it unless a later run renews it.
struct PcpLifetime {
    std::uint32_t seconds = 0;
};
// These protocols cannot list a router's table: what Pontaro's record holds.
struct PcpListed {
    std::vector<OpenedEntry> mapped;
};

// IPv6 pinholes, one per rule beside its IPv4 mapping, for this machine's
// stable global address (`address`, as text).
// Why this run tries none: only a firewall that keeps its doors shut is
// the log's business; the rest is for those who ask (--verbose).
struct PinholesUnavailable {
    enum class Why {
        kNoStableAddress,     // no stable global IPv6 address toward the router
        kNoService,           // the router offers no IPv6 firewall control
        kNoAnswer,            // the router did not answer the IPv6 search
        kServiceUnreadable,   // its description could not be read over IPv6 (`reason`)
        kOtherDevice,         // another device than the gateway answered the IPv6 search
        kFirewallDisabled,    // the firewall is off: everything comes in without pinholes
        kPinholesNotAllowed,  // the router's settings allow no pinholes
    };
    Why why = Why::kNoService;
    FailureReason reason;
};
struct PinholeOpened {
    PortMappingRule rule;
    std::string address;
};
struct PinholeFailed {
    Operation operation = Operation::kOpen;
    PortMappingRule rule;
    std::string address;
    FailureReason reason;
};
struct PinholeClosed {
    PortMappingRule rule;
    std::string address;
    bool wasThere = true;  // false: the router had no such pinhole
};
// The service cannot list the router's pinholes: those Pontaro's record holds.
struct PinholesListed {
    std::vector<OpenedEntry> pinholes;
};

// The record of what Pontaro opened (OpenedRecord.h): trouble with its
// file, told once; the run goes on.
struct RecordTrouble {
    OpenedRecord::Trouble trouble;
};
// A recorded mapping or pinhole closed without a rule asking: at the start
// of a run of its list, whose rules no longer hold it (`ruleGone`), or by
// CloseAll. A swept entry whose mapping was gone already is dropped unsaid.
struct RecordedClosed {
    bool ruleGone = true;
    OpenedEntry entry;
    bool wasThere = true;
};
struct RecordedCloseFailed {
    bool ruleGone = true;
    OpenedEntry entry;
    FailureReason reason;  // UPnP (mappings and pinholes)
    pcp::MapResult pcp;    // PCP and NAT-PMP
};
// CloseAll: what the record holds on a router this run did not reach; kept.
struct RecordedElsewhere {
    std::string router;  // its UDN, or empty
    std::string address;
    int entries = 0;
};
// CloseAll with an empty record.
struct NothingRecorded {};

using Event =
    std::variant<PeriodicRun, SettingsNotSaved, LoginStartNotChanged, RunStarted, GatewayPassedOver,
                 GatewayNotFound, GatewayFound, RuleStarted, RuleOpened, RuleFailed, RuleClosed,
                 CloseFailed, TableListed, TableFailed, OutsideAddress, RunEnded, PcpGatewayFound,
                 PcpRuleOpened, PcpRuleFailed, PcpLifetime, PcpListed, PinholesUnavailable,
                 PinholeOpened, PinholeFailed, PinholeClosed, PinholesListed, LineFound,
                 LineNotConfirmed, ListenerChecked, RecordTrouble, RecordedClosed,
                 RecordedCloseFailed, RecordedElsewhere, NothingRecorded>;

// Receivers are plain functions; several are chained with Fanout.
using Receiver = std::function<void(const Event&)>;

// Hands each event to every receiver, in the order given.
class Fanout {
public:
    void Add(Receiver receiver) { receivers_.push_back(std::move(receiver)); }
    void operator()(const Event& event) const {
        for (const Receiver& r : receivers_) {
            r(event);
        }
    }

private:
    std::vector<Receiver> receivers_;
};

// std::visit with one lambda per event type.
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace session
