#include "app/LineCheck.h"

#include "net/Ipv6Text.h"
#include "upnp/UpnpErrors.h"

namespace {

// Stable or temporary: only the prefix counts, and both carry it. Not one
// still tentative or already deprecated (the prefix of before a change).
bool Counts(const platform::LocalIpv6& a) {
    return a.usable && net::KindOf(a.address) == net::Ipv6Kind::kGlobal;
}

}  // namespace

LineCheck::LineCheck(const std::vector<platform::LocalIpv6>& lan, session::Operation operation,
                     const session::Receiver& report, Ask ask, std::span<const line::MapRule> rules)
    : operation_(operation), report_(report), ask_(std::move(ask)) {
    std::vector<std::array<std::uint8_t, 16>> globals;
    for (const platform::LocalIpv6& a : lan) {
        if (Counts(a)) {
            globals.push_back(a.address.bytes);
        }
    }
    hasGlobalIpv6_ = !globals.empty();
    mapE_ = line::FindMapELine(rules, globals);
}

bool LineCheck::WantsOutsideAfter(const RuleResult& refused) const {
    return hasGlobalIpv6_ && !mapE_ && refused.failure.upnpErrorCode == upnp::error::kActionFailed;
}

void LineCheck::BeforeRules() {
    if (mapE_) {
        AskOutside();
        Tell(false);
    }
}

void LineCheck::AskOutside() {
    if (asked_ || !ask_) {
        return;
    }
    asked_ = true;
    std::string answer;
    if (ask_(&answer)) {
        outside_ = answer;
        Learn(answer);
    }
}

void LineCheck::Learn(const std::string& outside) {
    if (learnt_) {
        return;
    }
    learnt_ = true;
    outsideText_ = outside;
    verdict_ = line::Judge(mapE_, outside, hasGlobalIpv6_);
}

std::optional<line::UnusablePort> LineCheck::Unusable(long port) const {
    if (verdict_ != line::Verdict::kMapE || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return line::Unusable(*mapE_, port);
}

void LineCheck::Tell(bool atEnd) {
    if (told_) {
        return;
    }
    switch (verdict_) {
        case line::Verdict::kMapE:
            report_(session::LineFound{operation_, *mapE_});
            break;
        case line::Verdict::kFixedAddress:
            report_(session::LineNotConfirmed{mapE_->service, line::Ipv4Text(mapE_->ipv4),
                                              outsideText_});
            break;
        case line::Verdict::kDsLite:
            if (!atEnd) {
                return;
            }
            report_(session::LineFound{operation_, line::Line{line::Kind::kDsLite, {}, 0, {}}});
            break;
        case line::Verdict::kUnknown:
            return;
    }
    told_ = true;
}
