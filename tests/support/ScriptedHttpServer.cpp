#include "support/ScriptedHttpServer.h"

#include "platform/Clock.h"
#include "support/LoopbackListener.h"
#include "text/Text.h"

namespace {

constexpr int kSliceMs = loopback::kSliceMs;

// The request is complete once the header block and the announced body are in.
bool RequestComplete(const std::string& bytes) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos) {
        return false;
    }
    std::size_t length = 0;
    std::string head = bytes.substr(0, end + 2);
    std::string line;
    while (text::CutLine(head, line)) {
        if (text::StartsWithNoCase(line, "Content-Length:")) {
            length = static_cast<std::size_t>(text::AtoiPrefix(line.substr(15)));
        }
    }
    return bytes.size() >= end + 4 + length;
}

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(Reply reply)
    : ScriptedHttpServer([reply](const std::string&) { return reply; }) {}

ScriptedHttpServer::ScriptedHttpServer(Handler handler)
    : ScriptedHttpServer(std::move(handler), loopback::Address()) {}

ScriptedHttpServer::ScriptedHttpServer(Handler handler, std::uint32_t address, std::uint16_t port)
    : handler_(std::move(handler)), address_(address) {
    listener_ = loopback::Listen(&port_, address, port);
    if (listener_ == platform::kInvalidSocket) {
        return;
    }
    thread_ = std::thread([this] { Serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    Stop();
}

void ScriptedHttpServer::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    loopback::Finish(thread_, listener_);
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
    return "http://" + platform::FormatIPv4(address_) + ":" + std::to_string(port_) + path;
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

bool ScriptedHttpServer::Stopping() const {
    std::lock_guard<std::mutex> hold(lock_);
    return stop_;
}

void ScriptedHttpServer::Serve() {
    loopback::AcceptEach(
        listener_, [this] { return Stopping(); },
        [this](platform::SocketHandle c) { ServeConnection(c); });
}

void ScriptedHttpServer::ServeConnection(platform::SocketHandle c) {
    std::string request;
    char buffer[4096];
    bool clientGone = false;
    while (!RequestComplete(request) && !Stopping()) {
        const int ready = platform::WaitReadable(c, kSliceMs);
        if (ready < 0) {
            return;
        }
        if (ready == 0) {
            continue;
        }
        const long n = platform::ReceiveSome(c, buffer, sizeof buffer);
        if (n <= 0) {
            clientGone = true;
            break;
        }
        request.append(buffer, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        requests_.push_back(request);
    }
    if (clientGone) {
        return;
    }
    const Reply reply = handler_(request);
    for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
        if (i > 0 && reply.pauseMs > 0) {
            platform::SleepMs(static_cast<unsigned>(reply.pauseMs));
        }
        if (!loopback::SendAll(c, reply.pieces[i])) {
            return;
        }
    }
    if (reply.close) {
        return;
    }
    // Hold the line until the client closes it (or the server stops).
    while (!Stopping()) {
        const int ready = platform::WaitReadable(c, kSliceMs);
        if (ready < 0) {
            return;
        }
        if (ready == 1 && platform::ReceiveSome(c, buffer, sizeof buffer) <= 0) {
            return;
        }
    }
}

std::string HttpReply(const std::string& statusLine, const std::vector<std::string>& headers,
                      const std::string& body) {
    std::string s = statusLine + "\r\n";
    for (const std::string& h : headers) {
        s += h + "\r\n";
    }
    return s + "\r\n" + body;
}
