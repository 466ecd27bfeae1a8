#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace platform {

// The first default gateway of each network adapter, in adapter order, at
// most `limit`, skipping adapters without one (Windows: GetAdaptersInfo;
// Linux: the kernel's routing table of the calling thread's namespace).
// An empty list when the query fails.
std::vector<std::uint32_t> DefaultGateways(std::size_t limit);

// The Linux part of DefaultGateways, apart from reading the file: the first
// default gateway of each interface in the text of /proc/net/route, in table
// order, at most `limit`. Plain text in, so it is the same on every platform.
std::vector<std::uint32_t> ParseProcNetRoute(const std::string& table, std::size_t limit);

// The Linux part of LocalIpv6Addresses, apart from reading the file: the
// addresses listed in the text of /proc/net/if_inet6. Lines that cannot be
// read are passed over.
std::vector<LocalIpv6> ParseProcNetIfInet6(const std::string& table);

}  // namespace platform
