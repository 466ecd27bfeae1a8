// The Japanese log: a session's events as the lines the window's log pane
// (and pontaro-cli's plain output) shows. One receiver among others.
#pragma once

#include <functional>
#include <string>

#include "app/SessionEvents.h"

class LogWriter {
public:
    // `append` takes each message (CR LF line ends, valid UTF-8) in order.
    explicit LogWriter(std::function<void(const std::string&)> append)
        : append_(std::move(append)) {}

    void operator()(const session::Event& event);

private:
    void On(const session::PeriodicRun& e);
    void On(const session::SettingsNotSaved&);
    void On(const session::LoginStartNotChanged& e);
    void On(const session::RunStarted&) {}
    void On(const session::GatewayPassedOver&) {}
    void On(const session::GatewayNotFound&);
    void On(const session::GatewayFound& e);
    void On(const session::RuleStarted& e);
    void On(const session::RuleOpened& e);
    void On(const session::RuleFailed& e);
    void On(const session::RuleClosed& e);
    void On(const session::CloseFailed& e);
    void On(const session::TableListed& e);
    void On(const session::TableFailed& e);
    void On(const session::OutsideAddress& e);
    void On(const session::RunEnded&);
    // PCP and NAT-PMP.
    void On(const session::PcpGatewayFound& e);
    void On(const session::PcpRuleOpened& e);
    void On(const session::PcpRuleFailed& e);
    void On(const session::PcpLifetime& e);
    void On(const session::PcpListed& e);
    void On(const session::PinholesUnavailable& e);
    void On(const session::PinholeOpened& e);
    void On(const session::PinholeFailed& e);
    void On(const session::PinholeClosed& e);
    void On(const session::PinholesListed& e);
    // The record of what Pontaro opened.
    void On(const session::RecordTrouble& e);
    void On(const session::RecordedClosed& e);
    void On(const session::RecordedCloseFailed& e);
    void On(const session::RecordedElsewhere& e);
    void On(const session::NothingRecorded&);
    void On(const session::ListenerChecked& e);
    void On(const session::LineFound& e);
    void On(const session::LineNotConfirmed&) {}

    void Write(const std::string& message);

    std::function<void(const std::string&)> append_;
};
