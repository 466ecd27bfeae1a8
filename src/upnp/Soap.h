// The SOAP texts of the gateway's actions: request envelopes, the values of
// a response and the UPnP error a gateway sends back in a fault.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    unsigned leaseSeconds = 0;  // 0: for as long as the router keeps it
};

// The request body, one line, UTF-8. Every argument text is escaped.
std::string AddPortMappingEnvelope(const AddPortMappingArgs& args);

// An action's input arguments, name and value (plain text), in order.
using SoapArguments = std::vector<std::pair<std::string, std::string>>;

// The request body of any action, one line, UTF-8. Every value is escaped.
std::string ActionEnvelope(std::string_view serviceType, std::string_view action,
                           const SoapArguments& arguments);

// The trimmed, decoded text of the first element whose local name is
// `localName` (any namespace prefix), as the tolerant XML reader finds it.
// False when there is none.
bool ExtractElementText(std::string_view body, std::string_view localName, std::string* out);

// The texts of the first errorCode and errorDescription elements (any
// namespace prefix), trimmed and decoded. False when the body holds no
// errorCode.
bool ExtractUpnpError(std::string_view body, std::string* code, std::string* description);

}  // namespace upnp
