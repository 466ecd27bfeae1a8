// The values shared by the PCP and NAT-PMP steps: what is mapped, for which
// mapping a request is (its nonce), and the time a run allows.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Clock.h"

namespace pcp {

// Both protocols live on this UDP port of the default gateway; answers from
// any other address or port are not the gateway's.
inline constexpr std::uint16_t kServerPort = 5351;
// Asked for on every mapping; routers clamp it (miniupnpd to 120-86400 s).
inline constexpr std::uint32_t kRequestedLifetimeSeconds = 86400;

enum class GatewayProtocol { kNone, kPcp, kNatPmp };

// The IP protocol numbers PCP carries; NAT-PMP has an opcode for each.
enum class Transport : std::uint8_t { kTcp = 6, kUdp = 17 };

// PCP names a mapping by this value: renewing or deleting it later needs the
// same twelve bytes (miniupnpd refuses a delete with another nonce).
using Nonce = std::array<std::uint8_t, 12>;

// The time left of one deadline that a whole run shares: the probe and every
// exchange wait at most until it is over.
class Budget {
public:
    explicit Budget(unsigned totalMs) : start_(platform::TickCount()), totalMs_(totalMs) {}
    Budget(std::uint32_t startTick, unsigned totalMs) : start_(startTick), totalMs_(totalMs) {}

    unsigned RemainingMs() const {
        const std::uint32_t used = platform::ElapsedSince(start_);
        return used >= totalMs_ ? 0 : totalMs_ - used;
    }
    bool Over() const { return RemainingMs() == 0; }

private:
    std::uint32_t start_;
    unsigned totalMs_;
};

}  // namespace pcp
