// The body of a refused SOAP request, from which the UPnP error is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "text/Text.h"
#include "upnp/Soap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::string code;
    std::string description;
    if (upnp::ExtractUpnpError(body, &code, &description)) {
        // Decoded entities make the text no longer than the element's content.
        FUZZ_CHECK(code.size() <= body.size() && description.size() <= body.size());
        for (const std::string* s : {&code, &description}) {
            FUZZ_CHECK(s->empty() ||
                       (!text::IsAsciiSpace(s->front()) && !text::IsAsciiSpace(s->back())));
        }
    }
    // Escaping is undone by the reader: a round trip through an envelope of
    // our own gives the text back.
    const std::string trimmed = text::Trim(body);
    const std::string fault =
        "<s:Envelope><s:Body><s:Fault><detail><UPnPError><errorCode>718"
        "</errorCode><errorDescription>" +
        upnp::EscapeXml(trimmed) +
        "</errorDescription></UPnPError></detail></s:Fault></s:Body>"
        "</s:Envelope>";
    code.clear();
    description.clear();
    FUZZ_CHECK(upnp::ExtractUpnpError(fault, &code, &description));
    FUZZ_CHECK(code == "718");
    FUZZ_CHECK(description == trimmed);
    return 0;
}
