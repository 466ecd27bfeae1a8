// The work of a run, without any window: find the gateway once, then open,
// close or list, and report every step as a typed event (SessionEvents.h).
//
// Errors in src/app are results as values and events: nothing here returns
// a status code, and a failure is an event with its reason, never an
// exception. (src/upnp and src/net below answer 0 / -1 and keep the reason
// of the last failure; src/text answers values or bool.)
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/MadeMappings.h"
#include "app/MadePinholes.h"
#include "app/OpenedRecord.h"
#include "app/SessionEvents.h"
#include "app/UpnpIpv6Pinholes.h"
#include "pcp/GatewayProbe.h"
#include "platform/ListeningSockets.h"
#include "upnp/RouterDevice.h"

class PortSession {
public:
    explicit PortSession(session::Receiver receiver) : report_(std::move(receiver)) {}

    // Each operation is one run: RunStarted, the search, its work, RunEnded.
    // `crlfRules` is the rule text; the first incomplete line ends it.
    void Open(const std::string& crlfRules);
    void Close(const std::string& crlfRules);
    void List();
    // Closes everything the record holds on the router this run finds,
    // and tells what stays recorded for routers it did not reach.
    void CloseAll();

    // Where each run searches for its gateway. The default searches the real
    // network; tests point it at loopback responders.
    DiscoveryTargets targets;

    // What Pontaro opened (OpenedRecord.h): every run reads it again and
    // writes what routers grant; only a mapping recorded there, left for an
    // address this machine no longer has, is ever removed to map the rule
    // again. Its path is empty (memory only) unless a front end sets one.
    OpenedRecord& Record() { return record_; }

    // The list the rules of Open come from, recorded with what they open;
    // with `sweep`, each Open first closes what this list no longer holds
    // (the window's rule box, `--watch -f FILE`; never one-shot rules).
    struct RuleList {
        std::string name = record::kCommandLineList;
        bool sweep = false;
    };
    RuleList ruleList;

    // Each rule also gets an IPv6 pinhole for this machine's stable global
    // address, when the gateway offers IPv6 firewall control; false: IPv4 only.
    bool openIpv6 = true;

    // Under each opened rule a look at who listens behind it (ListenerChecked);
    // true: the program is named even when it listens as it should.
    bool namePrograms = false;
    // Where that look reads the sockets (tests: a table of their own).
    std::function<platform::SocketTables()> socketTables = platform::ListeningSockets;

    // PCP and NAT-PMP, for when no UPnP gateway is usable: the probe goes to
    // port `pcpServerPort` of each default gateway when `targets` searches
    // the default gateways, else only to `pcpGateways` (tests: a scripted
    // server on loopback).
    std::vector<std::uint32_t> pcpGateways;
    std::uint16_t pcpServerPort = pcp::kServerPort;
    // The installation's secret the PCP nonces are made from; empty: from
    // `secretSource` when a run first needs it, or without one from the
    // default profile (InstallSecret).
    std::string installSecret;
    std::function<std::string()> secretSource;

private:
    // The search every run starts with. False when no router answered (the
    // run has ended then).
    // With no UPnP gateway, `pcpGateway` gets the gateway that answered the
    // probe, if one did (true then, and PcpGatewayFound was reported).
    bool FindGateway(session::Operation operation, CRouterDevice& gateway,
                     std::optional<pcp::GatewayAnswer>* pcpGateway);
    void OpenOverPcp(const pcp::GatewayAnswer& gateway,
                     const std::vector<platform::LocalIpv6>& localIpv6,
                     const std::string& crlfRules);
    void CloseOverPcp(const pcp::GatewayAnswer& gateway, const std::string& crlfRules);
    const std::string& Secret();
    // The run's IPv6 pinholes, when it tries them; why not is reported.
    std::optional<UpnpIpv6Pinholes> Pinholes(const CRouterDevice& gateway,
                                             session::Operation operation, MadePinholes& made);

    // The record read again at a run's start; written and its troubles
    // told at its end, before RunEnded.
    void BeginRecord();
    void EndRun(session::Operation operation);
    void TellRecordTroubles();
    RecordPlace MappingPlace(const CRouterDevice& gateway) const;
    RecordPlace PcpPlace(const pcp::GatewayAnswer& gateway) const;
    // CloseAll: what is still recorded, by router.
    void TellWhatStays();

    session::Receiver report_;
    OpenedRecord record_;
};
