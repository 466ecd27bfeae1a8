// IPv6 pinholes over UPnP (WANIPv6FirewallControl): the sibling of
// UpnpIpv4Mapper for the same rules. Each rule's internal port is opened for
// this machine's stable global address, asked over IPv6 from that address,
// since the router takes a pinhole only for the address a request comes from.
#pragma once

#include <optional>
#include <string>

#include "app/MadePinholes.h"
#include "app/PortMappingRule.h"
#include "app/SessionEvents.h"
#include "upnp/FailureReason.h"
#include "upnp/RouterDevice.h"

class UpnpIpv6Pinholes {
public:
    // `gateway` is the run's gateway after its search; `made` outlives this.
    UpnpIpv6Pinholes(const CRouterDevice& gateway, MadePinholes& made);

    // Reads the firewall service over IPv6 and, when opening, asks once
    // whether pinholes are allowed. Nothing when they can be tried; else why not.
    std::optional<session::PinholesUnavailable> Prepare(bool opening);

    // Where the pinholes through `gateway` are recorded: its device, and
    // the address its IPv6 answer came from.
    static RecordPlace PlaceOf(const CRouterDevice& gateway, const std::string& list);

    // Whether the rule gets a pinhole at all: TCP and UDP rules do.
    static bool Applies(const PortMappingRule& rule);

    // Opens the rule's pinhole, or renews the one this process opened
    // before. False with the reason in `failure`.
    bool Open(const PortMappingRule& rule, FailureReason* failure);

    enum class CloseOutcome { kClosed, kNothingThere, kFailed };
    CloseOutcome Close(const PortMappingRule& rule, FailureReason* failure);

    // This machine's address the pinholes are for, as text.
    const std::string& Address() const { return address_; }

private:
    bool Add(int port, const std::string& protocol, const std::string& description,
             FailureReason* failure);

    Ipv6Gateway found_;
    std::string gatewayUdn_;
    CRouterDevice firewall_;
    MadePinholes& made_;
    std::string address_;
};
