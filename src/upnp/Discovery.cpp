#include <algorithm>
#include <cstring>
#include <memory>

#include "net/StartWinsock.h"
#include "platform/Clock.h"
#include "platform/Gateways.h"
#include "platform/Socket.h"
#include "upnp/RouterDevice.h"
#include "upnp/SsdpAnswer.h"

namespace {

constexpr std::size_t kMaxGateways = 10;
constexpr std::size_t kReceiveCapacity = 65536;
// Devices whose descriptions are read before the search gives up; a network
// holds a handful of UPnP devices, a flood of invented locations is cut here.
constexpr std::size_t kMaxCandidates = 16;
// Answers still read once the listening time is over: those that came in
// while a candidate was being read.
constexpr int kMaxLateAnswers = 64;

// Closes the search socket on every way out.
class UdpSocket {
public:
    UdpSocket() : s_(platform::OpenUdpSocket()) {}
    ~UdpSocket() { platform::CloseSocket(s_); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    platform::SocketHandle Get() const { return s_; }
    void Reopen() {
        platform::CloseSocket(s_);
        s_ = platform::OpenUdpSocket();
    }

private:
    platform::SocketHandle s_;
};

}  // namespace

DiscoveryTargets::DiscoveryTargets() {
    platform::ParseIPv4("239.255.255.250", &multicastAddress);
}

int CRouterDevice::Discover(IpAddress& addr, std::string& loc, const DiscoveryTargets& targets) {
    failure_.Clear();
    // If the library cannot be started, creating the socket fails below.
    StartWinsock();

    std::vector<std::uint32_t> unicast;
    if (targets.useDefaultGateways) {
        unicast = platform::DefaultGateways(kMaxGateways);
    }
    unicast.insert(unicast.end(), targets.extraTargets.begin(), targets.extraTargets.end());

    UdpSocket socket;
    if (socket.Get() == platform::kInvalidSocket) {
        failure_.step = FailureReason::Step::kBind;
        failure_.detail = "no UDP socket could be created";
        return -1;
    }
    // Answers come back to the source port, so when another program (an SSDP
    // service) holds the usual port, any port does.
    if (platform::BindUdp(socket.Get(), 0, targets.bindPort) != 0) {
        socket.Reopen();
        if (targets.bindPort == 0 || socket.Get() == platform::kInvalidSocket ||
            platform::BindUdp(socket.Get(), 0, 0) != 0) {
            failure_.step = FailureReason::Step::kBind;
            failure_.detail = "no UDP port could be bound";
            return -1;
        }
    }

    std::vector<std::uint32_t> destinations;
    if (targets.useMulticast) {
        destinations.push_back(targets.multicastAddress);
    }
    destinations.insert(destinations.end(), unicast.begin(), unicast.end());
    // The further searches go to the gateways only: the router that can
    // forward for this machine is one of them, the other devices on the
    // network need not answer, and every search the router answers delays
    // its answer to the description request. Without a known gateway they
    // go to the group.
    const std::vector<std::uint32_t>& furtherDestinations =
        unicast.empty() ? destinations : unicast;
    std::vector<std::string> furtherSearches;
    for (const char* searchTarget : upnp::kSsdpFurtherSearchTargets) {
        furtherSearches.push_back(upnp::SsdpSearchRequest(searchTarget));
    }
    const auto sendTo = [&](const std::vector<std::uint32_t>& recipients, const char* request,
                            std::size_t size) {
        for (const std::uint32_t to : recipients) {
            const long sent = platform::SendDatagram(socket.Get(), request, size, to, targets.port);
            if (sent != static_cast<long>(size)) {
                failure_.step = FailureReason::Step::kSend;
                failure_.detail = "the search could not be sent to " + platform::FormatIPv4(to);
                return false;
            }
        }
        return true;
    };
    const auto sendBurst = [&] {
        if (!sendTo(destinations, upnp::kSsdpSearchRequest, upnp::kSsdpSearchRequestSize)) {
            return false;
        }
        for (const std::string& request : furtherSearches) {
            if (!sendTo(furtherDestinations, request.data(), request.size())) {
                return false;
            }
        }
        return true;
    };
    if (!sendBurst()) {
        return -1;
    }

    const std::uint32_t start = platform::TickCount();
    std::uint32_t nextResend = targets.resendMs;
    const auto buffer = std::make_unique<char[]>(kReceiveCapacity + 1);
    std::vector<std::string> tried;
    int lateAnswers = 0;
    for (;;) {
        const std::uint32_t elapsed = platform::ElapsedSince(start);
        const bool over = elapsed >= targets.listenMs;
        if (over && ++lateAnswers > kMaxLateAnswers) {
            break;
        }
        if (!over && targets.resendMs != 0 && elapsed >= nextResend) {
            // A router that was restarting misses the first burst. A resend
            // that fails (the link went away meanwhile) only loses that
            // chance; the listening goes on.
            const FailureReason kept = failure_;
            sendBurst();
            failure_ = kept;
            nextResend = elapsed + targets.resendMs;
        }
        std::uint32_t remaining = over ? 0 : targets.listenMs - elapsed;
        if (!over && targets.resendMs != 0 && nextResend - elapsed < remaining) {
            remaining = nextResend - elapsed;
        }
        const int ready = platform::WaitReadable(
            socket.Get(), remaining > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(remaining));
        if (ready < 0) {
            failure_.step = FailureReason::Step::kNoAnswer;
            failure_.detail = "waiting for answers failed";
            return -1;
        }
        if (ready == 0) {
            if (over) {
                break;
            }
            continue;
        }
        std::uint32_t from = 0;
        const long n =
            platform::ReceiveDatagram(socket.Get(), buffer.get(), kReceiveCapacity, &from, nullptr);
        if (n < 0) {
            failure_.step = FailureReason::Step::kNoAnswer;
            failure_.detail = "an answer could not be received";
            return -1;
        }
        std::string candidate;
        if (!upnp::FindSsdpLocation(std::string_view(buffer.get(), static_cast<std::size_t>(n)),
                                    &candidate) ||
            tried.size() >= kMaxCandidates ||
            std::find(tried.begin(), tried.end(), candidate) != tried.end()) {
            continue;
        }
        tried.push_back(candidate);
        if (TryCandidate(candidate, IpAddress(from)) == 0) {
            addr = address;
            loc = location;
            failure_.Clear();
            return 0;
        }
    }
    failure_.Clear();
    if (tried.empty()) {
        failure_.step = FailureReason::Step::kNoAnswer;
    } else {
        failure_.step = FailureReason::Step::kNoGateway;
        for (const std::string& t : tried) {
            failure_.detail += (failure_.detail.empty() ? "" : ", ") + t;
        }
    }
    return -1;
}

int CRouterDevice::TryCandidate(const std::string& candidate, const IpAddress& from) {
    // Requests go to the address an answer came from (HttpRequest), so an
    // answer must come from one a device can have: not 0.0.0.0 (which would
    // leave the location's host in charge), not multicast or broadcast.
    const std::uint32_t value = from.Value();
    unsigned char octets[4];
    std::memcpy(octets, &value, sizeof octets);
    if (octets[0] == 0 || octets[0] >= 224) {
        if (onPassedOver) {
            FailureReason why;
            why.step = FailureReason::Step::kNoGateway;
            why.detail = "answer from " + from.ToText() + ", which no device can have";
            onPassedOver(candidate, why);
        }
        return -1;
    }
    CRouterDevice device;
    device.location = candidate;
    device.address = from;
    device.SetHttpBudgets(headerBudgetMs_, bodyBudgetMs_);
    if (device.ReadService() != 0) {
        if (onPassedOver) {
            onPassedOver(candidate, device.LastFailure());
        }
        return -1;
    }
    location = device.location;
    address = device.address;
    service = device.service;
    controlUrl = device.controlUrl;
    chosen_ = device.chosen_;
    return 0;
}
