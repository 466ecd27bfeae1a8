#include "app/PcpMapper.h"

#include "pcp/MappingNonce.h"
#include "platform/Socket.h"
#include "text/Text.h"

namespace {

bool TransportOf(const std::string& protocol, pcp::Transport* transport) {
    if (text::EqualsNoCase(protocol, "TCP")) {
        *transport = pcp::Transport::kTcp;
    } else if (text::EqualsNoCase(protocol, "UDP")) {
        *transport = pcp::Transport::kUdp;
    } else {
        return false;
    }
    return true;
}

bool InPortRange(int port) {
    return port >= 1 && port <= 65535;
}

}  // namespace

bool PcpMapper::Carried(const PortMappingRule& rule, pcp::MapResult* refusal) {
    pcp::Transport transport{};
    pcp::ResultCode code = pcp::ResultCode::kSuccess;
    if (!InPortRange(rule.ExternalPortNumber()) || !InPortRange(rule.InternalPortNumber())) {
        code = pcp::ResultCode::kMalformedRequest;
    } else if (!TransportOf(rule.protocol, &transport)) {
        code = pcp::ResultCode::kUnsuppProtocol;
    }
    if (code == pcp::ResultCode::kSuccess) {
        return true;
    }
    *refusal = pcp::MapResult();
    refusal->outcome = pcp::MapOutcome::kRefused;
    refusal->code = code;
    return false;
}

pcp::MapResult PcpMapper::Exchange(const PortMappingRule& rule, std::uint32_t lifetime) {
    pcp::MapResult refusal;
    if (!Carried(rule, &refusal)) {
        return refusal;
    }
    // Without a route the exchange ends with kNoRoute before any nonce is sent.
    std::uint32_t local = 0;
    const bool routed = platform::LocalAddressTowards(gateway_.gateway, &local);
    if (routed && lifetime != 0) {
        made_.Asking(rule, platform::FormatIPv4(local), lifetime);
    }
    pcp::MapRequest q;
    q.protocol = gateway_.protocol;
    q.gateway = gateway_.gateway;
    q.serverPort = serverPort_;
    TransportOf(rule.protocol, &q.transport);
    q.internalPort = static_cast<std::uint16_t>(rule.InternalPortNumber());
    q.externalPort = static_cast<std::uint16_t>(rule.ExternalPortNumber());
    q.lifetime = lifetime;
    if (routed) {
        q.nonce = pcp::DeriveNonce(local, q.transport, q.internalPort, secret_);
    }
    const pcp::MapResult r = pcp::ExchangeMap(q, budget_);
    // A router's no takes the asked entry back; no answer leaves it for
    // the next run to close or confirm.
    if (routed && lifetime != 0 && r.outcome == pcp::MapOutcome::kRefused) {
        made_.Refused(rule, platform::FormatIPv4(local));
    }
    return r;
}

pcp::MapResult PcpMapper::Open(const PortMappingRule& rule) {
    const pcp::MapResult r = Exchange(rule, pcp::kRequestedLifetimeSeconds);
    if (r.outcome == pcp::MapOutcome::kDone) {
        made_.Granted(rule, platform::FormatIPv4(r.clientAddress), r.externalPort, r.lifetime);
    }
    return r;
}

pcp::MapResult PcpMapper::Close(const PortMappingRule& rule) {
    const pcp::MapResult r = Exchange(rule, 0);
    if (r.outcome == pcp::MapOutcome::kDone) {
        // The router may have opened another port than the rule's: what
        // goes is the mapping of the rule's internal port.
        made_.ForgetInternal(rule.InternalPortNumber(), rule.protocol);
    }
    return r;
}
