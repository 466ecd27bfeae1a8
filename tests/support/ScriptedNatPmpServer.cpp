#include "support/ScriptedNatPmpServer.h"

#include "net/StartWinsock.h"
#include "pcp/ByteOrder.h"
#include "platform/Clock.h"
#include "support/LoopbackListener.h"

namespace {

// Seconds since the server's start, as the answers report it.
constexpr std::uint32_t kEpoch = 42;

std::string Header(std::uint8_t opcode, std::uint16_t result) {
    std::string out{0, static_cast<char>(0x80 | opcode)};
    pcp::PutU16(out, result);
    pcp::PutU32(out, kEpoch);
    return out;
}

platform::SocketHandle BoundUdp(std::uint16_t* port) {
    StartWinsock();
    platform::SocketHandle s = platform::OpenUdpSocket();
    if (s != platform::kInvalidSocket && platform::BindUdp(s, loopback::Address(), 0) == 0) {
        *port = loopback::LocalPort(s);
        return s;
    }
    if (s != platform::kInvalidSocket) {
        platform::CloseSocket(s);
    }
    return platform::kInvalidSocket;
}

}  // namespace

ScriptedNatPmpServer::ScriptedNatPmpServer() {
    std::uint16_t decoyPort = 0;
    udp_ = BoundUdp(&port_);
    decoy_ = BoundUdp(&decoyPort);
    if (udp_ == platform::kInvalidSocket || decoy_ == platform::kInvalidSocket) {
        port_ = 0;
        return;
    }
    thread_ = std::thread([this] { Serve(); });
}

ScriptedNatPmpServer::~ScriptedNatPmpServer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    for (platform::SocketHandle s : {udp_, decoy_}) {
        if (s != platform::kInvalidSocket) {
            platform::CloseSocket(s);
        }
    }
}

void ScriptedNatPmpServer::ScriptMapReplies(std::vector<MapReply> replies) {
    std::lock_guard<std::mutex> hold(lock_);
    replies_.assign(replies.begin(), replies.end());
}

std::vector<std::string> ScriptedNatPmpServer::Received() const {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
}

std::string ScriptedNatPmpServer::Answer(const std::string& request, bool* decoy) {
    *decoy = false;
    if (request.size() < 2) {
        return std::string();
    }
    const auto opcode = static_cast<std::uint8_t>(request[1]);
    if (request[0] != 0) {
        // Any other version, PCP's included: the TP-Link's 8 bytes.
        return Header(opcode & 0x7F, 1);
    }
    if (opcode == 0) {
        std::string out = Header(0, 0);
        pcp::PutIPv4(out, externalAddress_);
        return out;
    }
    if ((opcode != 1 && opcode != 2) || request.size() < 12) {
        return Header(opcode & 0x7F, 5);
    }
    MapReply reply;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!replies_.empty()) {
            reply = replies_.front();
            replies_.pop_front();
        }
    }
    *decoy = reply.decoyFirst;
    std::string out = Header(opcode, reply.result);
    if (reply.result != 0) {
        return out;
    }
    const std::uint16_t internalPort = pcp::U16At(request, 4);
    const std::uint16_t asked = pcp::U16At(request, 6);
    const std::uint32_t lifetime = pcp::U32At(request, 8);
    pcp::PutU16(out, internalPort);
    pcp::PutU16(out, lifetime == 0 ? 0 : reply.grantedPort != 0 ? reply.grantedPort : asked);
    pcp::PutU32(out, lifetime);
    return out;
}

void ScriptedNatPmpServer::Serve() {
    while (!stop_) {
        if (platform::WaitReadable(udp_, loopback::kSliceMs) != 1) {
            continue;
        }
        char buffer[1200];
        std::uint32_t from = 0;
        std::uint16_t fromPort = 0;
        const long n = platform::ReceiveDatagram(udp_, buffer, sizeof buffer, &from, &fromPort);
        if (n <= 0) {
            continue;
        }
        const std::string request(buffer, static_cast<std::size_t>(n));
        {
            std::lock_guard<std::mutex> hold(lock_);
            received_.push_back(request);
        }
        if (request[0] != 0) {
            platform::SleepMs(pcpDelayMs_);
        }
        bool decoy = false;
        const std::string answer = Answer(request, &decoy);
        if (decoy) {
            // The same answer, granting port 1, from a port that is not the server's.
            std::string forged = answer;
            if (forged.size() >= 12) {
                forged[10] = 0;
                forged[11] = 1;
            }
            platform::SendDatagram(decoy_, forged.data(), forged.size(), from, fromPort);
        }
        platform::SendDatagram(udp_, answer.data(), answer.size(), from, fromPort);
    }
}
