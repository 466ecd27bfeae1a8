// The sending side of a gateway search and its timing: the UDP socket, the
// searches and when each goes out, the answers' locations as they come in.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Socket.h"
#include "upnp/FailureReason.h"
#include "upnp/RouterDevice.h"

namespace upnp {

// When the searches go out, all counted from one start (the first search):
// rounds of `resendMs`, each opening with the first search to everyone and
// followed `furtherDelayMs` later by the device-type searches to the
// gateways, unless a gateway was found meanwhile (the search has ended then).
// A router that answers the first search answers before the further ones
// are due, so it is asked once; one that answers only its device type is
// found that much later; one that restarts is asked again the next round.
class SearchPace {
public:
    enum class Due { kNothing, kFirst, kFurther };

    explicit SearchPace(const DiscoveryTargets& targets);

    // What is due at `elapsed` (ms since the first search), taken as sent.
    Due Take(std::uint32_t elapsed);
    // Ms from `elapsed` until the next search or the end of listening.
    std::uint32_t WaitMs(std::uint32_t elapsed) const;
    bool Over(std::uint32_t elapsed) const { return elapsed >= listenMs_; }
    // Another way to the gateway became certain at `elapsed`: listening ends
    // at the grace after the first search, or now when that has passed, and
    // never later than it would have.
    void FallbackSettled(std::uint32_t elapsed);

private:
    static constexpr std::uint32_t kNever = 0xFFFFFFFFu;
    std::uint32_t listenMs_;
    std::uint32_t resendMs_;
    std::uint32_t furtherDelayMs_;
    std::uint32_t fallbackGraceMs_;
    std::uint32_t nextFirst_;
    std::uint32_t nextFurther_;
};

// The search socket, bound to the usual port or, when another program holds
// that, to any; closed on every way out.
class SsdpSearch {
public:
    explicit SsdpSearch(const DiscoveryTargets& targets);
    ~SsdpSearch();
    SsdpSearch(const SsdpSearch&) = delete;
    SsdpSearch& operator=(const SsdpSearch&) = delete;

    // Each false with the reason in `failure`.
    bool Open(FailureReason* failure);
    bool SendFirst(FailureReason* failure);
    bool SendFurther(FailureReason* failure);

    // Waits up to `ms` for an answer: 1 one can be read, 0 none, -1 failed.
    // A `beside` socket is watched too: the wait ends when it becomes
    // readable, with `besideReadable` set.
    int Wait(std::uint32_t ms, platform::SocketHandle beside = platform::kInvalidSocket,
             bool* besideReadable = nullptr) const;
    // Reads one datagram: 1 with the location of an answer to the search
    // and its sender, 0 when the datagram is no such answer, -1 failed.
    int ReceiveLocation(std::string* location, std::uint32_t* from, FailureReason* failure);

    // The IPv6 search, for the gateway's firewall control: OpenIpv6 finds
    // the stable address to send it from (nothing is sent); SendIpv6 sends
    // it when there is one. A router delays its answers for every search it
    // gets, so it is sent only to a gateway known to offer the service. A
    // failure to open or send it only loses the pinholes.
    void OpenIpv6();
    // This machine's IPv6 addresses toward the gateways, read at the first call.
    const std::vector<platform::LocalIpv6>& LocalIpv6();
    const std::optional<platform::LocalIpv6>& Ipv6Source() const { return source6_; }
    bool SearchingIpv6() const { return socket6_ != platform::kInvalidSocket; }
    void SendIpv6();
    // The first answer to it within `ms`: true with its location and sender.
    bool AwaitIpv6Answer(std::uint32_t ms, std::string* location, platform::Ipv6Address* from);

private:
    bool SendTo(const std::vector<std::uint32_t>& recipients, const char* request, std::size_t size,
                FailureReason* failure) const;

    const DiscoveryTargets& targets_;
    platform::SocketHandle socket_ = platform::kInvalidSocket;
    std::vector<std::uint32_t> everyone_;  // the group (when used), then the gateways
    // The routers that can forward for this machine; the group when none is known.
    std::vector<std::uint32_t> gateways_;
    std::vector<std::string> further_;
    std::unique_ptr<char[]> buffer_;
    bool ipv6Opened_ = false;
    std::optional<std::vector<platform::LocalIpv6>> local6_;
    std::optional<platform::LocalIpv6> source6_;
    platform::SocketHandle socket6_ = platform::kInvalidSocket;
    std::vector<platform::Ipv6Address> recipients6_;
    std::string request6_;
};

}  // namespace upnp
