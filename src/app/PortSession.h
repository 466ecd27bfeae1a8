// The work of a run, without any window: find the gateway once, then open,
// close or list, and report every step as a typed event (SessionEvents.h).
//
// Errors in src/app are results as values and events: nothing here returns
// a status code, and a failure is an event with its reason, never an
// exception. (src/upnp and src/net below answer 0 / -1 and keep the reason
// of the last failure; src/text answers values or bool.)
#pragma once

#include <string>

#include "app/MadeMappings.h"
#include "app/SessionEvents.h"
#include "upnp/RouterDevice.h"

class PortSession {
public:
    explicit PortSession(session::Receiver receiver) : report_(std::move(receiver)) {}

    // Each operation is one run: RunStarted, the search, its work, RunEnded.
    // `crlfRules` is the rule text; the first incomplete line ends it.
    void Open(const std::string& crlfRules);
    void Close(const std::string& crlfRules);
    void List();

    // Where each run searches for its gateway. The default searches the real
    // network; tests point it at loopback responders.
    DiscoveryTargets targets;

    // Every mapping the router accepted from this session's runs; only such
    // a mapping, left for an address this machine no longer has, is ever
    // removed to map the rule again.
    MadeMappings& Made() { return made_; }

private:
    // The search every run starts with. False when no router answered (the
    // run has ended then).
    bool FindGateway(session::Operation operation, CRouterDevice& gateway);

    session::Receiver report_;
    MadeMappings made_;
};
