// What the loopback test servers share: a listening socket on 127.0.0.1 at a
// port the system picks, and the loop that accepts one connection at a time.
// The socket calls only servers need live here, not in the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/Socket.h"

namespace loopback {

// 127.0.0.1, in network byte order.
std::uint32_t Address();
// How long a server waits for readiness before it looks at its stop flag.
constexpr int kSliceMs = 20;

// A listening TCP socket on 127.0.0.1 (or `address`, another loopback
// address that stands for a device of the network) at `wanted` (0: a port
// the system picks); its port in *port. kInvalidSocket (and *port
// untouched) when the system refuses.
platform::SocketHandle Listen(std::uint16_t* port, std::uint32_t address = Address(),
                              std::uint16_t wanted = 0);
// ::1, and a listening TCP socket there at `wanted` (kInvalidSocket when
// the system refuses, as one without IPv6 does).
platform::Ipv6Address Address6();
platform::SocketHandle Listen6(std::uint16_t wanted);
// A random port below every system's ephemeral range (Linux 32768-60999,
// Windows 49152-65535), which no socket bound to port 0 is ever given: for a
// test that binds one port twice. Try another if it is taken.
std::uint16_t PortBelowEphemeral();
// The next incoming connection; blocks unless WaitReadable said one is there.
platform::SocketHandle Accept(platform::SocketHandle listener);
// The local port a socket is bound to, or 0.
std::uint16_t LocalPort(platform::SocketHandle s);
// Sets the socket's receive buffer size (SO_RCVBUF); false when refused.
bool SetReceiveBufferSize(platform::SocketHandle s, int bytes);

// Accepts connections until stopping() is true, hands each to serve and
// closes it once serve returns.
void AcceptEach(platform::SocketHandle listener, const std::function<bool()>& stopping,
                const std::function<void(platform::SocketHandle)>& serve);

// Sends all of bytes, however many calls it takes; false when the
// connection fails first.
bool SendAll(platform::SocketHandle connection, const std::string& bytes);

// Joins the serving thread (whose stop flag is already set) and closes the
// listener; both may be left over from a failed start.
void Finish(std::thread& server, platform::SocketHandle& listener);

}  // namespace loopback
