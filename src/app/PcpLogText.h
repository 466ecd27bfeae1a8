// The log's texts for runs that went over PCP or NAT-PMP (the UPnP ones are
// in ActivityLog.h). Every message carries its own CR LF line ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/OpenedRecord.h"
#include "pcp/MappingTypes.h"

namespace activity_log {

// "◆PCP対応ルータが見つかりました\r\n" or the same for NAT-PMP, then
// "- Address : %s\r\n" with the gateway.
std::string PcpFoundText(pcp::GatewayProtocol protocol, const std::string& address);
// Under a success line when the router opened another external port than
// the rule's.
std::string OpenedPortText(std::uint16_t externalPort);
// "- Lifetime : %u秒 ..." once per run: how long the router keeps the mappings.
std::string LifetimeText(std::uint32_t seconds);
// --list over PCP / NAT-PMP: there is no listing; what Pontaro's record holds.
std::string PcpListedText(const std::vector<OpenedEntry>& mapped);

}  // namespace activity_log
