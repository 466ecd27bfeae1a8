#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// The first default gateway of each network adapter, in adapter order, at
// most `limit`, skipping adapters without one (Windows: GetAdaptersInfo;
// Linux: the kernel's routing table of the calling thread's namespace).
// An empty list when the query fails.
std::vector<std::uint32_t> DefaultGateways(std::size_t limit);

}  // namespace platform
