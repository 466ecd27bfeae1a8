// The answer to GetListOfPortMappings: a SOAP body carrying a second XML
// document, in CDATA or escaped, from the router.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "upnp/PortListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::vector<PortMappingEntry> entries;
    const bool read = upnp::ReadPortListing(body, &entries);
    FUZZ_CHECK(read || entries.empty());
    // Decoding only shortens: no field, and no entry, comes from nothing.
    FUZZ_CHECK(entries.size() <= body.size() / 16 + 1);
    for (const PortMappingEntry& e : entries) {
        for (const std::string* field :
             {&e.remoteHost, &e.externalPort, &e.protocol, &e.internalPort, &e.internalClient,
              &e.enabled, &e.description, &e.leaseDuration}) {
            FUZZ_CHECK(field->size() <= body.size());
        }
    }
    return 0;
}
