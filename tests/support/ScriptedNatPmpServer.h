// A NAT-PMP-only router on a UDP port of 127.0.0.1, as older Apple base
// stations and some ISP boxes are: it answers PCP with UNSUPP_VERSION in
// version 0 and, like a TP-Link Archer A7, in 8 bytes only; address requests
// with its external address; mapping requests as scripted. It keeps every
// datagram it received, so tests check what the client sent.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

class ScriptedNatPmpServer {
public:
    // How one mapping request is answered.
    struct MapReply {
        std::uint16_t result = 0;       // NAT-PMP result code
        std::uint16_t grantedPort = 0;  // 0: the port asked for
        bool decoyFirst = false;        // a granted answer for port 1 from another port, before it
    };

    ScriptedNatPmpServer();
    ~ScriptedNatPmpServer();
    ScriptedNatPmpServer(const ScriptedNatPmpServer&) = delete;
    ScriptedNatPmpServer& operator=(const ScriptedNatPmpServer&) = delete;

    bool Ready() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }

    // The next mapping requests get these, in order; then each is granted as asked.
    void ScriptMapReplies(std::vector<MapReply> replies);
    void SetExternalAddress(std::uint32_t networkOrder) { externalAddress_ = networkOrder; }
    // A slow router: each PCP request is answered this late, and the
    // requests after it wait their turn.
    void SetPcpAnswerDelay(unsigned ms) { pcpDelayMs_ = ms; }

    // Every datagram received, in order.
    std::vector<std::string> Received() const;

private:
    void Serve();
    std::string Answer(const std::string& request, bool* decoy);

    platform::SocketHandle udp_ = platform::kInvalidSocket;
    platform::SocketHandle decoy_ = platform::kInvalidSocket;
    std::uint16_t port_ = 0;
    std::atomic<std::uint32_t> externalAddress_{0};
    std::atomic<unsigned> pcpDelayMs_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::deque<MapReply> replies_;
    std::vector<std::string> received_;
    std::thread thread_;
};
