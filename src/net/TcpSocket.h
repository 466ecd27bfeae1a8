// A TCP client connection whose blocking calls the timeout watchdog guards.
// Bytes are received into a buffer of its own by non-blocking polls, so that
// callers can look at what has arrived before they take it.
//
// Errors in src/net: 0 or a negative code (callers look only at nonzero),
// and the connection keeps the Japanese text of its last failure.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/TimeoutWatchdog.h"
#include "platform/Socket.h"

class CTcpSocket : public CTimeoutClient {
public:
    static constexpr int kBufferSize = 0x7FFF;  // 32767

    CTcpSocket();
    ~CTcpSocket() override;
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // 0 connected; -1 socket library unusable or no socket; -2 host not found
    // or the connection failed.
    int Connect(const std::string& host, int port);
    // The same over IPv6, from `source` (bound first, so that the peer sees
    // that address and no other the system might pick). 0, -1 or -2 as above.
    int ConnectIPv6(const platform::Ipv6Address& to, int port, const platform::Ipv6Address& source);
    void Close();

    int Send(const char* data, int size);  // 0 or -1; sends the whole block
    int SendText(const std::string& s);
    int Poll();                                      // 0 or -1; never waits
    int Read(char* destination, int capacity);       // bytes taken, or -1
    int PeekBytes(char* destination, int capacity);  // bytes copied, or -1
    int Available();                                 // pending after a poll, or -1
    int IsClosed();                                  // closed flag after a poll

    // Waits up to timeoutMs for more bytes, the peer's close or an error
    // (without consuming anything). Used by callers that would otherwise
    // sleep between polls. 1 something happened, 0 not within the time.
    int WaitForData(int timeoutMs);

    void OnTimeout() override;
    std::string LastErrorText() const;

    // Time-out for the guarded calls in ms; 0 (what the program uses) means
    // the watchdog's default. Tests shorten it.
    void SetTimeout(int milliseconds) { timeout_ = milliseconds; }

    // Socket creation (used by Connect): 0, -1 socket library unusable,
    // -3 no socket.
    int Create(bool ipv6 = false);

private:
    // Marks the connection closed after its handle is gone.
    void Forget();
    void Fail(const std::string& text);
    // Connects the created socket to `to` under the watchdog; 0 or -2.
    int ConnectCreated(const std::string& to,
                       const std::function<int(platform::SocketHandle)>& connect);

    platform::SocketHandle socket_ = platform::kInvalidSocket;
    int open_ = 0;
    std::string lastError_;
    std::unique_ptr<char[]> received_;
    int pending_ = 0;
    int closed_ = 0;
    int timeout_ = 0;
};
