// An HTTP server on 127.0.0.1 (ephemeral port) for tests of the gateway
// exchange. It records each request's exact bytes and answers as scripted:
// the reply in pieces with pauses, then a close or a connection held open
// until the client goes. Connections are served one after another on the
// server's own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

class ScriptedHttpServer {
public:
    struct Reply {
        std::vector<std::string> pieces;  // sent in order
        int pauseMs = 0;                  // between two pieces
        bool close = true;                // false: hold the line open, say nothing more
    };
    // Chooses the reply from the request's bytes.
    using Handler = std::function<Reply(const std::string& request)>;

    explicit ScriptedHttpServer(Handler handler);
    // On another loopback address and, when not 0, a given port.
    ScriptedHttpServer(Handler handler, std::uint32_t address, std::uint16_t port = 0);
    // Every request gets the same reply.
    explicit ScriptedHttpServer(Reply reply);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    bool Listening() const { return listener_ != platform::kInvalidSocket; }
    std::uint16_t Port() const { return port_; }
    std::string Url(const std::string& path) const;  // http://ADDRESS:PORT + path

    // The requests received so far, each complete as the client sent it.
    std::vector<std::string> Requests() const;

    void Stop();

private:
    void Serve();
    void ServeConnection(platform::SocketHandle c);
    bool Stopping() const;

    Handler handler_;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t port_ = 0;
    std::uint32_t address_ = 0;
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    bool stop_ = false;
    std::thread thread_;
};

// A whole reply: status line, the header lines given (each without CR LF),
// the blank line and the body.
std::string HttpReply(const std::string& statusLine, const std::vector<std::string>& headers,
                      const std::string& body);
