#include "app/LocalSideText.h"

#include "app/ActivityLog.h"
#include "app/texts/Catalog.h"
#include "text/Text.h"

namespace activity_log {

namespace {

// "8080 [TCP]", or "8080 [TCP/IPv6]" under a pinhole.
std::string PortText(const session::ListenerChecked& e) {
    return std::to_string(e.rule.InternalPortNumber()) + " [" + text::AsciiUpper(e.rule.protocol) +
           (e.pinhole ? "/IPv6" : "") + "]";
}

// " (nginx)", or nothing when this user cannot see who.
std::string ProgramText(const LocalListener& l) {
    return l.program.empty() ? std::string() : " (" + RouterText(l.program) + ")";
}

}  // namespace

std::string LocalSideText(const session::ListenerChecked& e) {
    using texts::Msg;
    const LocalListener& l = e.listener;
    switch (l.state) {
        case LocalListener::State::kNone:
            return texts::Format(Msg::kNoListener, {PortText(e)});
        case LocalListener::State::kLoopbackOnly:
            return texts::Format(Msg::kLoopbackOnly, {PortText(e), l.address, ProgramText(l)});
        case LocalListener::State::kOtherAddress:
            return texts::Format(Msg::kOtherAddress, {PortText(e), l.address, ProgramText(l),
                                                      RouterText(e.forwardedTo)});
        case LocalListener::State::kListening:
            if (e.firewall == FirewallVerdict::kWouldDrop) {
                return texts::Format(Msg::kFirewallWouldDrop,
                                     {PortText(e), l.address, ProgramText(l)});
            }
            return std::string();
        case LocalListener::State::kUnknown:
            return std::string();
    }
    return std::string();
}

std::string ListenerRecordText(const session::ListenerChecked& e) {
    using texts::Msg;
    const LocalListener& l = e.listener;
    if (l.state != LocalListener::State::kListening) {
        return std::string();
    }
    if (l.pid == 0) {
        return texts::Format(Msg::kListenerHidden, {l.address});
    }
    if (l.program.empty()) {
        return texts::Format(Msg::kListenerNameHidden, {std::to_string(l.pid)});
    }
    return texts::Format(Msg::kListener, {RouterText(l.program), std::to_string(l.pid)});
}

}  // namespace activity_log
