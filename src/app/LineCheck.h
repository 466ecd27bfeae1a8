// The line one run is on (line/Line.h), for PortSession: a MAP-E rule that
// this machine's IPv6 address begins with, confirmed by the router's outside
// address, or DS-Lite, which that address alone tells. Only a machine whose
// address matches a rule asks the router anything it would not ask anyway.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/ApplyRule.h"
#include "app/SessionEvents.h"
#include "line/Line.h"
#include "platform/Socket.h"

class LineCheck {
public:
    // How the router's outside address is asked: true with the address as
    // the router stated it.
    using Ask = std::function<bool(std::string*)>;

    // `lan`: this machine's IPv6 addresses toward the router
    // (CRouterDevice::localIpv6). `report` outlives this. Without `ask`
    // (PCP, NAT-PMP) the address comes only through Learn.
    LineCheck(const std::vector<platform::LocalIpv6>& lan, session::Operation operation,
              const session::Receiver& report, Ask ask = {},
              std::span<const line::MapRule> rules = line::ProviderRules());

    // Before the first mapping: where a MAP-E rule matched, and only there,
    // asks the outside address and tells the line, so that no rule outside
    // the set is sent.
    void BeforeRules();
    // A refusal of the kind DS-Lite routers give (501: miniupnpd without an
    // IPv4 outside address), on a machine with a global IPv6 address: worth
    // asking the outside address for, when nothing else asked it.
    bool WantsOutsideAfter(const RuleResult& refused) const;

    // Asks the router's outside address unless this run has asked already;
    // the first answer is learnt from.
    void AskOutside();
    // The answer to that question, when the router gave one.
    const std::optional<std::string>& Outside() const { return outside_; }
    // An outside address the run has without asking (PCP, NAT-PMP); only
    // the first counts.
    void Learn(const std::string& outside);

    // Why the line cannot carry `port`; nothing when it can or when no
    // MAP-E line is confirmed.
    std::optional<line::UnusablePort> Unusable(long port) const;

    // Reports what the outside address said, once: a MAP-E line, or a rule
    // that address does not confirm, as soon as it is known; `atEnd` also
    // DS-Lite, which only the end of a run tells.
    void Tell(bool atEnd);

private:
    session::Operation operation_;
    const session::Receiver& report_;
    Ask ask_;
    std::optional<line::Line> mapE_;  // what this machine's address gives
    bool hasGlobalIpv6_ = false;
    bool asked_ = false;
    std::optional<std::string> outside_;
    bool learnt_ = false;
    line::Verdict verdict_ = line::Verdict::kUnknown;
    std::string outsideText_;  // what the verdict was made from
    bool told_ = false;
};
