#include "pcp/MapExchange.h"

#include "pcp/ByteOrder.h"
#include "pcp/GatewayProbe.h"
#include "pcp/GatewaySocket.h"
#include "pcp/NatPmpPacket.h"
#include "pcp/PcpPacket.h"
#include "platform/Socket.h"

namespace pcp {
namespace {

constexpr unsigned kFirstResendMs = 250;

// What one answer means for the exchange.
enum class Reading { kIgnore, kAnswered, kPcpUnsupported };

Reading ReadPcp(std::string_view d, const PcpMapFields& fields, MapResult* r) {
    PcpAnswer a;
    const AnswerCheck check = ReadPcpMapAnswer(d, fields, &a);
    if (check == AnswerCheck::kWrongVersion) {
        // A NAT-PMP server's UNSUPP_VERSION, whatever its opcode and length
        // past the header: ask it in its own protocol.
        return SpokenProtocol(d) == GatewayProtocol::kNatPmp &&
                       FromNatPmpResult(U16At(d, 2)) == ResultCode::kUnsuppVersion
                   ? Reading::kPcpUnsupported
                   : Reading::kIgnore;
    }
    if (check != AnswerCheck::kOk) {
        return Reading::kIgnore;
    }
    r->code = a.result;
    r->rawCode = a.rawResult;
    r->lifetime = a.lifetime;
    if (a.result == ResultCode::kSuccess) {
        r->externalPort = a.externalPort;
        r->externalAddressKnown = a.externalIsIPv4;
        r->externalAddress = a.externalAddress;
    }
    return Reading::kAnswered;
}

Reading ReadNatPmp(std::string_view d, const MapRequest& q, MapResult* r) {
    NatPmpAnswer a;
    // UNSUPP_VERSION cannot be the answer to version 0: it is a late answer
    // to the PCP request sent before, whose opcode 0x81 reads as UDP's.
    if (ReadNatPmpMapAnswer(d, q.transport, q.internalPort, &a) != AnswerCheck::kOk ||
        a.result == ResultCode::kUnsuppVersion) {
        return Reading::kIgnore;
    }
    r->code = a.result;
    r->rawCode = a.rawResult;
    r->externalPort = a.externalPort;
    r->lifetime = a.lifetime;
    return Reading::kAnswered;
}

}  // namespace

MapResult ExchangeMap(const MapRequest& q, const Budget& budget) {
    MapResult r;
    r.protocol = q.protocol;
    GatewaySocket socket;
    if (!socket.Usable()) {
        r.outcome = MapOutcome::kNoSocket;
        return r;
    }
    // miniupnpd answers ADDRESS_MISMATCH unless the packet names its own source.
    if (!platform::LocalAddressTowards(q.gateway, &r.clientAddress)) {
        r.outcome = MapOutcome::kNoRoute;
        return r;
    }
    PcpMapFields fields;
    fields.lifetime = q.lifetime;
    fields.clientAddress = r.clientAddress;
    fields.nonce = q.nonce;
    fields.transport = q.transport;
    fields.internalPort = q.internalPort;
    fields.externalPort = q.externalPort;

    std::string packet;
    unsigned space = kFirstResendMs;
    const auto start = [&] {
        packet = r.protocol == GatewayProtocol::kPcp
                     ? PcpMapRequest(fields)
                     : NatPmpMapRequest(q.transport, q.internalPort, q.externalPort, q.lifetime);
        space = kFirstResendMs;
    };
    start();
    std::string datagram;
    std::uint32_t from = 0;
    while (!budget.Over()) {
        if (!socket.Send(q.gateway, q.serverPort, packet)) {
            r.outcome = MapOutcome::kSendFailed;
            return r;
        }
        ++r.requestsSent;
        bool restarted = false;
        const Budget wait(space);
        for (;;) {
            const int got =
                socket.Receive(budget, wait.RemainingMs(), q.serverPort, &datagram, &from);
            if (got < 0) {
                r.outcome = MapOutcome::kNoSocket;
                return r;
            }
            if (got == 0) {
                break;
            }
            if (from != q.gateway) {
                continue;
            }
            const Reading reading = r.protocol == GatewayProtocol::kPcp
                                        ? ReadPcp(datagram, fields, &r)
                                        : ReadNatPmp(datagram, q, &r);
            if (reading == Reading::kAnswered) {
                r.outcome =
                    r.code == ResultCode::kSuccess ? MapOutcome::kDone : MapOutcome::kRefused;
                return r;
            }
            if (reading == Reading::kPcpUnsupported && r.protocol == GatewayProtocol::kPcp) {
                r.protocol = GatewayProtocol::kNatPmp;
                start();
                restarted = true;
                break;
            }
        }
        if (r.protocol == GatewayProtocol::kNatPmp && !restarted) {
            space *= 2;
        }
    }
    r.outcome = MapOutcome::kNoAnswer;
    return r;
}

}  // namespace pcp
