// The log's lines for IPv6 pinholes.
#pragma once

#include <string>
#include <vector>

#include "app/OpenedRecord.h"
#include "app/SessionEvents.h"
#include "app/texts/Catalog.h"
#include "upnp/FailureReason.h"

namespace activity_log {

// "■ [%s]:%d [%s/IPv6] : " (no line end: the outcome completes the line)
std::string PinholeStartText(const std::string& address, int port, const std::string& protocol);

// Said once per run when the router's firewall keeps the pinholes from mattering.
inline constexpr texts::Message kFirewallDisabled{texts::Msg::kFirewallDisabled};
inline constexpr texts::Message kPinholesNotAllowed{texts::Msg::kPinholesNotAllowed};

// The listing's part for pinholes: the service has no action that lists
// them, so those Pontaro's record holds.
std::string PinholesListedText(const std::vector<OpenedEntry>& pinholes);

// For those who ask (pontaro-cli --verbose): why this run tried no pinholes.
std::string WhyNoPinholesText(const session::PinholesUnavailable& e);

// The sentence the warning about a private outside address gets when the
// port is reachable over IPv6 all the same.
std::string ReachableOverIpv6Text(const std::string& address);

}  // namespace activity_log

// "理由: " and why the router refused a pinhole; `port` is "8080/TCP".
std::string DescribePinholeFailure(const FailureReason& reason, const std::string& port);
