#include "pcp/GatewayProbe.h"

#include <algorithm>

#include "pcp/NatPmpPacket.h"
#include "pcp/PcpPacket.h"
#include "platform/Socket.h"

namespace pcp {

GatewayProtocol SpokenProtocol(std::string_view answer) {
    if (answer.empty()) {
        return GatewayProtocol::kNone;
    }
    if (static_cast<std::uint8_t>(answer[0]) == kPcpVersion) {
        return GatewayProtocol::kPcp;
    }
    if (answer.size() >= kNatPmpHeaderSize && answer[0] == 0 &&
        (static_cast<std::uint8_t>(answer[1]) & 0x80) != 0) {
        return GatewayProtocol::kNatPmp;
    }
    return GatewayProtocol::kNone;
}

GatewayProbe::GatewayProbe(std::vector<std::uint32_t> gateways, std::uint16_t serverPort)
    : serverPort_(serverPort) {
    for (const std::uint32_t g : gateways) {
        GatewayAnswer a;
        a.gateway = g;
        answers_.push_back(a);
    }
}

bool GatewayProbe::SendTo(GatewayAnswer& to) {
    std::uint32_t client = 0;
    // Without a route to the gateway nothing can reach it; the ANNOUNCE
    // names this machine by the address the route leaves from.
    if (!platform::LocalAddressTowards(to.gateway, &client)) {
        return false;
    }
    const bool pcpSent = socket_->Send(to.gateway, serverPort_, PcpAnnounceRequest(client));
    const bool natPmpSent = socket_->Send(to.gateway, serverPort_, NatPmpAddressRequest());
    return pcpSent || natPmpSent;
}

bool GatewayProbe::Send() {
    socket_ = std::make_unique<GatewaySocket>();
    sentAt_ = platform::TickCount();
    bool any = false;
    if (socket_->Usable()) {
        for (GatewayAnswer& a : answers_) {
            any = SendTo(a) || any;
        }
    }
    return any;
}

bool GatewayProbe::Settled(const GatewayAnswer& a) {
    return a.protocol == GatewayProtocol::kPcp || (a.pcpAnswered && a.addressAnswered);
}

void GatewayProbe::Take(std::uint32_t from, std::string_view datagram) {
    const auto it = std::find_if(answers_.begin(), answers_.end(),
                                 [&](const GatewayAnswer& a) { return a.gateway == from; });
    if (it == answers_.end()) {
        return;
    }
    GatewayAnswer& a = *it;
    const GatewayProtocol spoken = SpokenProtocol(datagram);
    if (spoken == GatewayProtocol::kPcp) {
        a.pcpAnswered = true;
        a.protocol = GatewayProtocol::kPcp;
        return;
    }
    if (spoken != GatewayProtocol::kNatPmp) {
        return;
    }
    NatPmpAnswer answer;
    if (ReadNatPmpAddressAnswer(datagram, &answer) != AnswerCheck::kOk) {
        // Version 0 to the ANNOUNCE (opcode 0 too): UNSUPP_VERSION, NAT-PMP only.
        return;
    }
    if (answer.result == ResultCode::kUnsuppVersion) {
        a.pcpAnswered = true;
    } else {
        a.addressAnswered = true;
        a.addressResult = answer.result;
        a.externalAddress = answer.externalAddress;
    }
    if (a.protocol == GatewayProtocol::kNone) {
        a.protocol = GatewayProtocol::kNatPmp;
    }
}

void GatewayProbe::Collect(const Budget& budget) {
    if (!socket_ || !socket_->Usable()) {
        return;
    }
    std::string datagram;
    std::uint32_t from = 0;
    for (;;) {
        if (std::all_of(answers_.begin(), answers_.end(), Settled)) {
            return;
        }
        const unsigned sinceSend = platform::ElapsedSince(sentAt_);
        if (!budget.Over() && sinceSend >= nextResendMs_) {
            for (GatewayAnswer& a : answers_) {
                if (!Settled(a)) {
                    SendTo(a);
                }
            }
            resendSpaceMs_ *= 2;
            nextResendMs_ += resendSpaceMs_;
        }
        const unsigned untilResend = nextResendMs_ > sinceSend ? nextResendMs_ - sinceSend : 0;
        const int got = socket_->Receive(budget, untilResend, serverPort_, &datagram, &from);
        if (got < 0 || (got == 0 && budget.Over())) {
            return;
        }
        if (got > 0) {
            Take(from, datagram);
        }
    }
}

bool GatewayProbe::TakeWaiting() {
    Collect(Budget(0));
    return std::all_of(answers_.begin(), answers_.end(), Settled) && Chosen() != nullptr;
}

const GatewayAnswer* GatewayProbe::Chosen() const {
    for (const GatewayAnswer& a : answers_) {
        if (a.protocol != GatewayProtocol::kNone) {
            return &a;
        }
    }
    return nullptr;
}

}  // namespace pcp
