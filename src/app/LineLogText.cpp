#include "app/LineLogText.h"

#include "app/ActivityLog.h"
#include "app/texts/Catalog.h"

namespace activity_log {

namespace {

using texts::Msg;

std::string RangeText(const line::PortRange& r) {
    return texts::Format(Msg::kRange, {std::to_string(r.first), std::to_string(r.last)});
}

// Five blocks a line, under a heading.
std::string BlocksText(const line::PortSet& ports) {
    const std::vector<line::PortRange> blocks = ports.Blocks();
    std::string out =
        texts::Format(Msg::kBlocksHeading,
                      {std::to_string(blocks.empty() ? 0 : blocks[0].last - blocks[0].first + 1),
                       std::to_string(blocks.size())});
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        out += (i % 5 == 0 ? "  " : ", ") + RangeText(blocks[i]);
        if (i % 5 == 4 || i + 1 == blocks.size()) {
            out += "\r\n";
        }
    }
    return out;
}

}  // namespace

std::string ServiceName(line::Service service) {
    switch (service) {
        case line::Service::kV6Plus:
            return texts::Text(Msg::kServiceV6Plus);
        case line::Service::kIpv6Option:
            return texts::Text(Msg::kServiceIpv6Option);
        case line::Service::kOcn:
            return texts::Text(Msg::kServiceOcn);
    }
    return "?";
}

std::string LineText(const session::LineFound& e) {
    if (e.line.kind == line::Kind::kDsLite) {
        return texts::Text(Msg::kDsLite);
    }
    std::string out =
        texts::Format(Msg::kMapE, {ServiceName(e.line.service), line::Ipv4Text(e.line.ipv4),
                                   std::to_string(e.line.ports.Count())});
    if (e.operation == session::Operation::kList) {
        out += BlocksText(e.line.ports);
    }
    return out;
}

std::string OutsideSetReason(const line::UnusablePort& u, long rulePort) {
    const std::string where = texts::Format(Msg::kOutsideSetWhere, {ServiceName(u.service)});
    const std::string port = std::to_string(u.port);
    std::string out = texts::Text(Msg::kReasonPrefix);
    out += texts::Format(u.port != rulePort ? Msg::kOutsideSetOpened : Msg::kOutsideSetPort,
                         {where, port});
    if (u.below && u.above) {
        out += texts::Format(Msg::kNearbyTwo, {RangeText(*u.below), RangeText(*u.above)});
    } else if (u.below || u.above) {
        out += texts::Format(Msg::kNearbyOne, {RangeText(u.below ? *u.below : *u.above)});
    }
    return out + texts::Text(Msg::kOutsideSetWhy);
}

std::string LineRecordText(const session::LineFound& e) {
    if (e.line.kind != line::Kind::kMapE) {
        return std::string();
    }
    const line::PortSet& p = e.line.ports;
    return texts::Format(
        Msg::kLineRecord,
        {line::ServiceId(e.line.service), line::Ipv4Text(e.line.ipv4), std::to_string(p.Psid()),
         std::to_string(p.PsidLength()), std::to_string(p.Offset())});
}

std::string LineNotConfirmedText(const session::LineNotConfirmed& e) {
    return texts::Format(Msg::kLineNotConfirmed,
                         {ServiceName(e.service), RouterText(e.outside), e.computed});
}

std::string OutsideSetRecordText(const line::UnusablePort& u, long rulePort) {
    return texts::Format(
        u.port == rulePort ? Msg::kOutsideSetNotSent : Msg::kOutsideSetOpenedRecord,
        {std::to_string(u.port), std::to_string(u.psid)});
}

}  // namespace activity_log
