// This machine's side of a run's opened rules: one look at the socket
// tables per run (on the first rule opened), the owners and the firewall
// only when something asks for them, at most once per run each.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/PortMappingRule.h"
#include "app/SessionEvents.h"
#include "platform/ListeningSockets.h"
#include "platform/LocalFirewall.h"

class LocalSide {
public:
    // `namePrograms`: name the program also when it listens as it should
    // (pontaro-cli --verbose, --json); the notes need a name only when it
    // listens where nothing reaches it.
    // `readSockets` reads the tables (platform::ListeningSockets).
    LocalSide(bool namePrograms, std::function<platform::SocketTables()> readSockets)
        : namePrograms_(namePrograms), readSockets_(std::move(readSockets)) {}

    // `forwardedTo`: the rule's internal client (dotted IPv4), or for the
    // pinhole this machine's IPv6 address.
    session::ListenerChecked Check(const PortMappingRule& rule, bool pinhole,
                                   const std::string& forwardedTo);

private:
    bool FirewallOn();

    bool namePrograms_;
    std::function<platform::SocketTables()> readSockets_;
    std::optional<platform::SocketTables> tables_;
    std::optional<platform::SocketOwners> owners_;
    std::optional<platform::FirewallSnapshot> firewall_;
};
