#include "app/LocalSide.h"

#include <algorithm>

#include "net/Ipv6Text.h"
#include "platform/Socket.h"
#include "text/Text.h"

bool LocalSide::FirewallOn() {
    if (!firewall_) {
        firewall_ = platform::ReadLocalFirewall();
    }
    return firewall_->read &&
           std::any_of(firewall_->current.begin(), firewall_->current.end(),
                       [](const platform::FirewallProfile& p) { return p.enabled; });
}

session::ListenerChecked LocalSide::Check(const PortMappingRule& rule, bool pinhole,
                                          const std::string& forwardedTo) {
    session::ListenerChecked checked{rule, pinhole, forwardedTo, {}, FirewallVerdict::kUnknown};
    const std::string protocol = text::AsciiUpper(rule.protocol);
    const int port = rule.InternalPortNumber();
    if ((protocol != "TCP" && protocol != "UDP") || port < 1 || port > 65535) {
        return checked;
    }
    if (!tables_) {
        tables_ = readSockets_();
    }
    if (!tables_->read) {
        return checked;
    }
    // An address that cannot be read matches no socket bound to one.
    std::array<std::uint8_t, 16> to{};
    std::uint32_t v4 = 0;
    platform::Ipv6Address v6;
    if (!pinhole && platform::ParseIPv4(forwardedTo, &v4)) {
        to[10] = to[11] = 0xFF;
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&v4), 4, to.begin() + 12);
    } else if (pinhole && net::ParseIPv6(forwardedTo, &v6)) {
        to = v6.bytes;
    } else {
        to.fill(0xFF);
    }
    const bool udp = protocol == "UDP";
    const ListenerMatch match =
        MatchListener(tables_->sockets, udp, static_cast<std::uint16_t>(port), !pinhole, to,
                      tables_->ipv6WildcardTakesIpv4);
    checked.listener.state = match.state;
    if (match.socket < 0) {
        return checked;
    }
    const platform::OpenSocket& socket = tables_->sockets[static_cast<std::size_t>(match.socket)];
    checked.listener.address = SocketAddressText(socket);
    const bool listening = match.state == LocalListener::State::kListening;
    const bool firewallOn = listening && FirewallOn();
    platform::SocketOwner owner;
    if (!listening || namePrograms_ || firewallOn) {
        if (!owners_) {
            owners_.emplace(tables_->sockets);
        }
        owner = owners_->Of(socket);
        checked.listener.pid = owner.pid;
        checked.listener.program = owner.name;
    }
    if (listening) {
        checked.firewall =
            JudgeFirewall(*firewall_, udp, static_cast<std::uint16_t>(port), owner.path);
    }
    return checked;
}
