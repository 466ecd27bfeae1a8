// A scriptable TCP server on 127.0.0.1 with an ephemeral port, for tests of
// client code. It serves one connection at a time on its own thread: sends
// canned bytes, records what it receives, answers after a marker, stops
// reading or closes, as its Behaviour says.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Socket.h"

class LoopbackServer {
public:
    struct Behaviour {
        std::string sendOnAccept;        // sent as soon as a client is accepted
        std::string reply;               // sent once the received bytes hold replyAfter
        std::string replyAfter;          // empty: reply to the first bytes received
        bool closeAfterSending = false;  // close once sendOnAccept / reply is out
        bool readNothing = false;        // never read: the client's sends pile up
        int receiveBufferBytes = 0;      // SO_RCVBUF of accepted sockets; 0 leaves it
    };

    LoopbackServer();  // accepts, records, never answers
    explicit LoopbackServer(Behaviour behaviour);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const { return listener_ != platform::kInvalidSocket; }
    std::uint16_t Port() const { return port_; }

    std::string Received() const;
    int Accepted() const;
    // Waits until at least `bytes` were received / `count` clients accepted.
    bool WaitForReceived(std::size_t bytes, int timeoutMs) const;
    bool WaitForAccepted(int count, int timeoutMs) const;
    // Waits until clients closed (or reset) `count` connections.
    bool WaitForPeerClosed(int count, int timeoutMs) const;

    // Stops serving, closes every socket and joins the thread (idempotent).
    void Stop();

private:
    void Serve();
    void ServeConnection(platform::SocketHandle connection);

    Behaviour behaviour_;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t port_ = 0;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::string received_;
    int accepted_ = 0;
    int peerClosed_ = 0;
    bool stop_ = false;
    std::thread thread_;
};
