// Whether anything on this machine can answer on a port the router now
// forwards here: the sockets' tables against the rule's internal port,
// protocol and the address the router forwards to. Plain code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ListeningSockets.h"

// What a look at this machine's sockets found for one opened rule.
struct LocalListener {
    enum class State {
        kUnknown,       // the tables could not be read: nothing is said
        kListening,     // on a wildcard address or the one the router forwards to
        kLoopbackOnly,  // only on 127.0.0.0/8 or ::1: nothing from outside reaches it
        kOtherAddress,  // only on another of this machine's addresses
        kNone,          // nothing on that port and protocol
    };
    State state = State::kUnknown;
    std::string address;    // where the socket is bound ("0.0.0.0", "::", "127.0.0.1")
    std::uint32_t pid = 0;  // 0: this user cannot see who
    std::string program;    // its name, where visible
};

// The socket that decides, and how. `forwardedTo` is the rule's internal
// client: for IPv4 rules ::ffff:a.b.c.d (`ipv4` true), for a pinhole the
// IPv6 address. A usable socket wins over one on loopback, which wins over
// one on another address. `socket` is its index in `sockets`, -1 for none.
struct ListenerMatch {
    LocalListener::State state = LocalListener::State::kNone;
    int socket = -1;
};
ListenerMatch MatchListener(const std::vector<platform::OpenSocket>& sockets, bool udp,
                            std::uint16_t port, bool ipv4,
                            const std::array<std::uint8_t, 16>& forwardedTo,
                            bool ipv6WildcardTakesIpv4);

// A socket's address as text: dotted for IPv4 and mapped ones, else RFC 5952.
std::string SocketAddressText(const platform::OpenSocket& socket);
