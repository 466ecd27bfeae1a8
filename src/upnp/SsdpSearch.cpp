#include "upnp/SsdpSearch.h"

#include <algorithm>

#include "net/StableIpv6.h"
#include "platform/Clock.h"
#include "platform/Gateways.h"
#include "upnp/SsdpAnswer.h"

namespace upnp {

namespace {

constexpr std::size_t kMaxGateways = 10;
constexpr std::size_t kReceiveCapacity = 65536;

}  // namespace

SearchPace::SearchPace(const DiscoveryTargets& targets)
    : listenMs_(targets.listenMs),
      resendMs_(targets.resendMs),
      furtherDelayMs_(targets.furtherSearchDelayMs),
      fallbackGraceMs_(targets.fallbackGraceMs),
      nextFirst_(targets.resendMs == 0 ? kNever : targets.resendMs),
      nextFurther_(targets.furtherSearchDelayMs) {}

SearchPace::Due SearchPace::Take(std::uint32_t elapsed) {
    if (Over(elapsed)) {
        return Due::kNothing;
    }
    if (elapsed >= nextFurther_) {
        nextFurther_ = kNever;
        return Due::kFurther;
    }
    if (elapsed >= nextFirst_) {
        // Counted from the planned time, so that a late round does not
        // shift the ones after it.
        nextFurther_ = nextFirst_ + furtherDelayMs_;
        nextFirst_ += resendMs_;
        return Due::kFirst;
    }
    return Due::kNothing;
}

void SearchPace::FallbackSettled(std::uint32_t elapsed) {
    listenMs_ = std::min(listenMs_, std::max(elapsed, fallbackGraceMs_));
}

std::uint32_t SearchPace::WaitMs(std::uint32_t elapsed) const {
    if (Over(elapsed)) {
        return 0;
    }
    const std::uint32_t next = std::min({nextFirst_, nextFurther_, listenMs_});
    return next > elapsed ? next - elapsed : 0;
}

SsdpSearch::SsdpSearch(const DiscoveryTargets& targets)
    : targets_(targets), buffer_(std::make_unique<char[]>(kReceiveCapacity + 1)) {
    std::vector<std::uint32_t> unicast;
    if (targets.useDefaultGateways) {
        unicast = platform::DefaultGateways(kMaxGateways);
    }
    unicast.insert(unicast.end(), targets.extraTargets.begin(), targets.extraTargets.end());
    if (targets.useMulticast) {
        everyone_.push_back(targets.multicastAddress);
    }
    everyone_.insert(everyone_.end(), unicast.begin(), unicast.end());
    gateways_ = unicast.empty() ? everyone_ : unicast;
    for (const char* searchTarget : kSsdpFurtherSearchTargets) {
        further_.push_back(SsdpSearchRequest(searchTarget));
    }
}

SsdpSearch::~SsdpSearch() {
    platform::CloseSocket(socket_);
    platform::CloseSocket(socket6_);
}

void SsdpSearch::OpenIpv6() {
    if (ipv6Opened_ || !targets_.searchIpv6) {
        return;
    }
    ipv6Opened_ = true;
    source6_ = targets_.ipv6Source ? targets_.ipv6Source : net::FirstStableGlobal(LocalIpv6());
    if (!source6_) {
        return;
    }
    // From the stable address, so that the router answers toward it and
    // from an address of the same link.
    socket6_ = platform::OpenUdpSocket6();
    if (socket6_ == platform::kInvalidSocket ||
        platform::BindIPv6(socket6_, source6_->address, 0) != 0) {
        platform::CloseSocket(socket6_);
        socket6_ = platform::kInvalidSocket;
        return;
    }
    if (targets_.ipv6UseMulticast &&
        platform::SetMulticastInterface6(socket6_, source6_->interfaceIndex) == 0) {
        platform::Ipv6Address group;
        group.bytes = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};
        group.scopeId = source6_->interfaceIndex;
        recipients6_.push_back(group);
    }
    recipients6_.insert(recipients6_.end(), targets_.ipv6ExtraTargets.begin(),
                        targets_.ipv6ExtraTargets.end());
    request6_ = SsdpSearchRequest6(kSsdpIpv6FirewallTarget);
}

const std::vector<platform::LocalIpv6>& SsdpSearch::LocalIpv6() {
    if (!local6_) {
        local6_ = targets_.localIpv6 ? *targets_.localIpv6 : net::Ipv6Toward(gateways_);
    }
    return *local6_;
}

void SsdpSearch::SendIpv6() {
    if (!SearchingIpv6()) {
        return;
    }
    for (const platform::Ipv6Address& to : recipients6_) {
        platform::SendDatagram6(socket6_, request6_.data(), request6_.size(), to, targets_.port);
    }
}

bool SsdpSearch::AwaitIpv6Answer(std::uint32_t ms, std::string* location,
                                 platform::Ipv6Address* from) {
    if (!SearchingIpv6()) {
        return false;
    }
    const std::uint32_t start = platform::TickCount();
    // Datagrams that are no answer (another client's search) are passed
    // over; a bounded number, so that a flood cannot hold the run here.
    for (int datagrams = 0; datagrams < 64; ++datagrams) {
        const std::uint32_t elapsed = platform::ElapsedSince(start);
        const std::uint32_t left = elapsed >= ms ? 0 : ms - elapsed;
        if (platform::WaitReadable(
                socket6_, static_cast<int>(std::min<std::uint32_t>(left, 0x7FFFFFFF))) != 1) {
            return false;
        }
        const long n =
            platform::ReceiveDatagram6(socket6_, buffer_.get(), kReceiveCapacity, from, nullptr);
        if (n < 0) {
            return false;
        }
        if (FindSsdpLocation(std::string_view(buffer_.get(), static_cast<std::size_t>(n)),
                             location)) {
            return true;
        }
    }
    return false;
}

bool SsdpSearch::Open(FailureReason* failure) {
    socket_ = platform::OpenUdpSocket();
    if (socket_ == platform::kInvalidSocket) {
        failure->step = FailureReason::Step::kBind;
        failure->detail = "no UDP socket could be created";
        return false;
    }
    // Answers come back to the source port, so when another program (an SSDP
    // service) holds the usual port, any port does.
    if (platform::BindUdp(socket_, 0, targets_.bindPort) == 0) {
        return true;
    }
    platform::CloseSocket(socket_);
    socket_ = platform::OpenUdpSocket();
    if (targets_.bindPort == 0 || socket_ == platform::kInvalidSocket ||
        platform::BindUdp(socket_, 0, 0) != 0) {
        failure->step = FailureReason::Step::kBind;
        failure->detail = "no UDP port could be bound";
        return false;
    }
    return true;
}

bool SsdpSearch::SendFirst(FailureReason* failure) {
    return SendTo(everyone_, kSsdpSearchRequest, kSsdpSearchRequestSize, failure);
}

bool SsdpSearch::SendFurther(FailureReason* failure) {
    return std::all_of(further_.begin(), further_.end(), [&](const std::string& request) {
        return SendTo(gateways_, request.data(), request.size(), failure);
    });
}

bool SsdpSearch::SendTo(const std::vector<std::uint32_t>& recipients, const char* request,
                        std::size_t size, FailureReason* failure) const {
    for (const std::uint32_t to : recipients) {
        const long sent = platform::SendDatagram(socket_, request, size, to, targets_.port);
        if (sent != static_cast<long>(size)) {
            failure->step = FailureReason::Step::kSend;
            failure->detail = "the search could not be sent to " + platform::FormatIPv4(to);
            return false;
        }
    }
    return true;
}

int SsdpSearch::Wait(std::uint32_t ms, platform::SocketHandle beside, bool* besideReadable) const {
    const int ready = platform::WaitEitherReadable(
        socket_, beside, ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(ms));
    if (ready < 0) {
        return -1;
    }
    if (besideReadable != nullptr) {
        *besideReadable = (ready & platform::kSecondReadable) != 0;
    }
    return (ready & platform::kFirstReadable) != 0 ? 1 : 0;
}

int SsdpSearch::ReceiveLocation(std::string* location, std::uint32_t* from,
                                FailureReason* failure) {
    const long n =
        platform::ReceiveDatagram(socket_, buffer_.get(), kReceiveCapacity, from, nullptr);
    if (n < 0) {
        failure->step = FailureReason::Step::kNoAnswer;
        failure->detail = "an answer could not be received";
        return -1;
    }
    return FindSsdpLocation(std::string_view(buffer_.get(), static_cast<std::size_t>(n)), location)
               ? 1
               : 0;
}

}  // namespace upnp
