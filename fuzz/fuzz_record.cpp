// The record of what Pontaro opened, as a damaged or foreign file may hold
// it: what is read is written back and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "app/OpenedRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RecordText first;
    if (!ParseRecord(text, &first)) {
        return 0;
    }
    const std::string written = FormatRecord(first);
    RecordText again;
    FUZZ_CHECK(ParseRecord(written, &again));
    FUZZ_CHECK(again.entries == first.entries);
    FUZZ_CHECK(again.newerLines == first.newerLines);
    FUZZ_CHECK(FormatRecord(again) == written);
    return 0;
}
