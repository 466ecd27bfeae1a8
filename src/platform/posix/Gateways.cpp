#include "platform/Gateways.h"

#include <string>

#include "platform/Files.h"

namespace platform {

// /proc/net/route lists the routes of the calling thread's namespace.
std::vector<std::uint32_t> DefaultGateways(std::size_t limit) {
    std::string table;
    if (ReadWholeFile("/proc/net/route", &table) != ReadResult::kOk) {
        return {};
    }
    return ParseProcNetRoute(table, limit);
}

}  // namespace platform
