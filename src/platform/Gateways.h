#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace platform
