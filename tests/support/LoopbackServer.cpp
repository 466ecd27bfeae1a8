#include "support/LoopbackServer.h"

#include <chrono>

#include "platform/Clock.h"
#include "support/LoopbackListener.h"

namespace {
const int kWaitSliceMs = loopback::kSliceMs;
}  // namespace

LoopbackServer::LoopbackServer() : LoopbackServer(Behaviour{}) {}

LoopbackServer::LoopbackServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
    listener_ = loopback::Listen(&port_);
    if (listener_ == platform::kInvalidSocket) {
        return;
    }
    if (behaviour_.receiveBufferBytes > 0) {
        loopback::SetReceiveBufferSize(listener_, behaviour_.receiveBufferBytes);
    }
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    loopback::Finish(thread_, listener_);
}

std::string LoopbackServer::Received() const {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
}

int LoopbackServer::Accepted() const {
    std::lock_guard<std::mutex> hold(lock_);
    return accepted_;
}

bool LoopbackServer::WaitForReceived(std::size_t bytes, int timeoutMs) const {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                             [&] { return received_.size() >= bytes; });
}

bool LoopbackServer::WaitForAccepted(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                             [&] { return accepted_ >= count; });
}

bool LoopbackServer::WaitForPeerClosed(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                             [&] { return peerClosed_ >= count; });
}

void LoopbackServer::Serve() {
    loopback::AcceptEach(
        listener_,
        [this] {
            std::lock_guard<std::mutex> hold(lock_);
            return stop_;
        },
        [this](platform::SocketHandle connection) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                ++accepted_;
            }
            changed_.notify_all();
            ServeConnection(connection);
        });
}

void LoopbackServer::ServeConnection(platform::SocketHandle connection) {
    if (!behaviour_.sendOnAccept.empty()) {
        if (!loopback::SendAll(connection, behaviour_.sendOnAccept) ||
            behaviour_.closeAfterSending) {
            return;
        }
    }
    bool replied = behaviour_.reply.empty();
    std::string mine;
    char buffer[4096];
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stop_) {
                return;
            }
        }
        if (behaviour_.readNothing) {
            platform::SleepMs(kWaitSliceMs);
            continue;
        }
        if (platform::WaitReadable(connection, kWaitSliceMs) != 1) {
            continue;
        }
        const long n = platform::ReceiveSome(connection, buffer, sizeof buffer);
        if (n <= 0) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                ++peerClosed_;
            }
            changed_.notify_all();
            return;
        }
        mine.append(buffer, static_cast<std::size_t>(n));
        {
            std::lock_guard<std::mutex> hold(lock_);
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        changed_.notify_all();
        if (!replied && (behaviour_.replyAfter.empty() ||
                         mine.find(behaviour_.replyAfter) != std::string::npos)) {
            replied = true;
            if (!loopback::SendAll(connection, behaviour_.reply) || behaviour_.closeAfterSending) {
                return;
            }
        }
    }
}
