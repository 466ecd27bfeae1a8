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
    for (const std::uint32_t to : destinations) {
        const long sent = platform::SendDatagram(socket.Get(), upnp::kSsdpSearchRequest,
                                                 upnp::kSsdpSearchRequestSize, to, targets.port);
        if (sent != static_cast<long>(upnp::kSsdpSearchRequestSize)) {
            failure_.step = FailureReason::Step::kSend;
            failure_.detail = "the search could not be sent to " + platform::FormatIPv4(to);
            return -1;
        }
    }

    // Elapsed time, not an absolute deadline, so that the tick counter
    // wrapping during the search cannot cut it short.
    const std::uint32_t start = platform::TickCount();
    std::uint32_t nextResend = targets.resendMs;
    const auto buffer = std::make_unique<char[]>(kReceiveCapacity + 1);
    for (;;) {
        const std::uint32_t elapsed = platform::TickCount() - start;
        if (elapsed >= targets.listenMs) {
            break;
        }
        if (targets.resendMs != 0 && elapsed >= nextResend) {
            // A resend that fails (the link went away meanwhile) only loses
            // that chance; the listening goes on.
            for (const std::uint32_t to : destinations) {
                platform::SendDatagram(socket.Get(), upnp::kSsdpSearchRequest,
                                       upnp::kSsdpSearchRequestSize, to, targets.port);
            }
            nextResend = elapsed + targets.resendMs;
        }
        std::uint32_t remaining = targets.listenMs - elapsed;
        if (targets.resendMs != 0 && nextResend - elapsed < remaining) {
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
        addr.Set(from);
        if (!upnp::FindSsdpLocation(std::string_view(buffer.get(), static_cast<std::size_t>(n)),
                                    &loc)) {
            continue;
        }
        location = loc;
        address = addr;
        return 0;
    }
    failure_.step = FailureReason::Step::kNoAnswer;
    return -1;
}
