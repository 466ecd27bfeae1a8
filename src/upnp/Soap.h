// The SOAP texts of the AddPortMapping action: the request envelope and the
// UPnP error a gateway sends back in a fault.
#pragma once

#include <string>
#include <string_view>

namespace upnp {

// &, <, >, " and ' as entity references; every other byte as it is.
std::string EscapeXml(std::string_view s);

struct AddPortMappingArgs {
    std::string serviceType;  // the namespace of the action element
    int externalPort = 0;
    std::string protocol;
    int internalPort = 0;
    std::string internalClient;
    std::string description;
};

// The request body, one line, UTF-8. Every argument text is escaped.
std::string AddPortMappingEnvelope(const AddPortMappingArgs& args);

// The texts of the first errorCode and errorDescription elements (any
// namespace prefix), trimmed, with the predefined entities decoded. False
// when the body holds no errorCode.
bool ExtractUpnpError(std::string_view body, std::string* code, std::string* description);

}  // namespace upnp
