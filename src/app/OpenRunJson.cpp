#include "app/OpenRunJson.h"

#include "app/FailureText.h"
#include "app/MappingTable.h"
#include "app/PinholeLogText.h"
#include "text/Text.h"

using namespace session;

void OpenRunRecord::operator()(const Event& event) {
    Rule* last = rules_.empty() ? nullptr : &rules_.back();
    std::visit(Overloaded{
                   [&](const GatewayNotFound& e) { failureText_ = DescribeFailure(e.reason); },
                   [&](const GatewayFound& e) {
                       gatewayFound_ = true;
                       gatewayProtocol_ = "UPnP";
                       gatewayAddress_ = e.address;
                       location_ = e.location;
                   },
                   [&](const PcpGatewayFound& e) {
                       gatewayFound_ = true;
                       gatewayProtocol_ =
                           e.protocol == pcp::GatewayProtocol::kNatPmp ? "NAT-PMP" : "PCP";
                       gatewayAddress_ = e.address;
                   },
                   [&](const RuleStarted& e) {
                       rules_.push_back(Rule{e.rule, 0, {}, false, {}, {}});
                   },
                   [&](const RuleOpened& e) {
                       if (last != nullptr) {
                           last->mapping.opened = true;
                           last->openedPort = e.rule.ExternalPortNumber();
                       }
                   },
                   [&](const PcpRuleOpened& e) {
                       if (last != nullptr) {
                           last->mapping.opened = true;
                           last->openedPort = e.externalPort;
                       }
                   },
                   [&](const RuleFailed& e) {
                       if (last != nullptr) {
                           last->mapping.error = DescribeRuleFailure(e.result, e.rule);
                       }
                   },
                   [&](const PcpRuleFailed& e) {
                       if (last != nullptr) {
                           last->mapping.error = DescribePcpFailure(e.outcome, e.code, e.rawCode);
                       }
                   },
                   [&](const PinholeOpened& e) {
                       if (last != nullptr) {
                           last->pinholeTried = last->pinhole.opened = true;
                           last->pinholeAddress = e.address;
                       }
                   },
                   [&](const PinholeFailed& e) {
                       if (last != nullptr) {
                           last->pinholeTried = true;
                           last->pinholeAddress = e.address;
                           last->pinhole.error = DescribePinholeFailure(
                               e.reason, std::to_string(e.rule.InternalPortNumber()) + "/" +
                                             text::AsciiUpper(e.rule.protocol));
                       }
                   },
                   [&](const ListenerChecked& e) {
                       if (last != nullptr) {
                           (e.pinhole ? last->pinhole : last->mapping).checked = e;
                       }
                   },
                   [&](const PcpLifetime& e) { lifetime_ = e.seconds; },
                   [&](const OutsideAddress& e) { externalAddress_ = e.address; },
                   [](const auto&) {},
               },
               event);
}

namespace {

const char* StateName(LocalListener::State s) {
    switch (s) {
        case LocalListener::State::kListening:
            return "listening";
        case LocalListener::State::kLoopbackOnly:
            return "loopbackOnly";
        case LocalListener::State::kOtherAddress:
            return "otherAddress";
        case LocalListener::State::kNone:
            return "none";
        case LocalListener::State::kUnknown:
            break;
    }
    return "unknown";
}

// "listening": what listens behind the port, null when it was not looked
// at (the rule was not opened) or the tables could not be read; then
// "firewall": null when unknown (Linux).
std::string SideJson(const OpenRunRecord::Side& side) {
    std::string out = "\"opened\": " + std::string(side.opened ? "true" : "false") +
                      ", \"error\": " + JsonStringOrNull(side.error) + ", \"listening\": ";
    const ListenerChecked* c = side.checked ? &*side.checked : nullptr;
    if (c == nullptr || c->listener.state == LocalListener::State::kUnknown) {
        out += "null";
    } else {
        const LocalListener& l = c->listener;
        out += "{\"state\": \"" + std::string(StateName(l.state)) +
               "\", \"address\": " + JsonStringOrNull(l.address) +
               ", \"program\": " + JsonStringOrNull(l.program) +
               ", \"pid\": " + (l.pid == 0 ? std::string("null") : std::to_string(l.pid)) + "}";
    }
    out += ", \"firewall\": ";
    const FirewallVerdict f = c == nullptr ? FirewallVerdict::kUnknown : c->firewall;
    out += f == FirewallVerdict::kLetsIn      ? "\"letsIn\""
           : f == FirewallVerdict::kWouldDrop ? "\"wouldDrop\""
                                              : "null";
    return out;
}

}  // namespace

std::string OpenRunRecord::Json() const {
    std::string out = "{\n  \"gateway\": ";
    if (gatewayFound_) {
        out += "{\"protocol\": " + JsonString(gatewayProtocol_) +
               ", \"address\": " + JsonString(gatewayAddress_) +
               ", \"location\": " + JsonStringOrNull(location_) + "}";
    } else {
        out += "null";
    }
    out += ",\n  \"rules\": [";
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const Rule& r = rules_[i];
        out += i == 0 ? "\n    " : ",\n    ";
        out += "{\"externalPort\": " + std::to_string(r.rule.ExternalPortNumber()) +
               ", \"internalPort\": " + std::to_string(r.rule.InternalPortNumber()) +
               ", \"protocol\": " + JsonString(text::AsciiUpper(r.rule.protocol)) +
               ", \"description\": " + JsonString(r.rule.description) + ", \"openedPort\": " +
               (r.mapping.opened ? std::to_string(r.openedPort) : std::string("null")) +
               ", \"forwardedTo\": " +
               JsonStringOrNull(r.mapping.checked ? r.mapping.checked->forwardedTo : "") + ", " +
               SideJson(r.mapping) + ", \"pinhole\": ";
        if (r.pinholeTried) {
            out +=
                "{\"address\": " + JsonString(r.pinholeAddress) + ", " + SideJson(r.pinhole) + "}";
        } else {
            out += "null";
        }
        out += "}";
    }
    out += rules_.empty() ? "]" : "\n  ]";
    out += ",\n  \"lifetime\": " + (lifetime_ ? std::to_string(*lifetime_) : std::string("null"));
    out += ",\n  \"externalAddress\": " + JsonStringOrNull(externalAddress_);
    out += ",\n  \"error\": " + JsonStringOrNull(failureText_);
    out += "\n}\n";
    return out;
}
