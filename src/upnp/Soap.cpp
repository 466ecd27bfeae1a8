#include "upnp/Soap.h"

#include "text/Text.h"
#include "upnp/XmlDocument.h"

namespace upnp {

namespace {

// Each argument element declares the data-type prefix itself, as gateways
// that follow the UPnP samples expect.
std::string Argument(const char* name, const char* type, const std::string& value) {
    std::string s = "<";
    s += name;
    s += " xmlns:dt=\"urn:schemas-microsoft-com:datatypes\" dt:dt=\"";
    s += type;
    s += "\">";
    s += value;
    s += "</";
    s += name;
    s += ">";
    return s;
}

// The trimmed text of the first element named `localName` (any prefix).
bool FindElementText(const XmlDocument& doc, std::string_view localName, std::string* out) {
    const std::vector<XmlDocument::Node> found = doc.ElementsByLocalName(localName);
    if (found.empty()) {
        return false;
    }
    *out = text::Trim(doc.Text(found.front()));
    return true;
}

}  // namespace

std::string EscapeXml(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string AddPortMappingEnvelope(const AddPortMappingArgs& args) {
    std::string s =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
        " SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
        "<SOAP-ENV:Body><m:AddPortMapping xmlns:m=\"";
    s += EscapeXml(args.serviceType);
    s += "\">";
    s += Argument("NewRemoteHost", "string", "");
    s += Argument("NewExternalPort", "ui2", std::to_string(args.externalPort));
    s += Argument("NewProtocol", "string", EscapeXml(args.protocol));
    s += Argument("NewInternalPort", "ui2", std::to_string(args.internalPort));
    s += Argument("NewInternalClient", "string", EscapeXml(args.internalClient));
    s += Argument("NewEnabled", "boolean", "1");
    s += Argument("NewPortMappingDescription", "string", EscapeXml(args.description));
    s += Argument("NewLeaseDuration", "ui4", std::to_string(args.leaseSeconds));
    s += "</m:AddPortMapping></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    return s;
}

std::string ActionEnvelope(std::string_view serviceType, std::string_view action,
                           const SoapArguments& arguments) {
    std::string s =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
        " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
        "<s:Body><u:";
    s += action;
    s += " xmlns:u=\"";
    s += EscapeXml(serviceType);
    s += "\">";
    for (const auto& [name, value] : arguments) {
        s += "<" + name + ">" + EscapeXml(value) + "</" + name + ">";
    }
    s += "</u:";
    s += action;
    s += "></s:Body></s:Envelope>";
    return s;
}

bool ExtractElementText(std::string_view body, std::string_view localName, std::string* out) {
    XmlDocument doc;
    return doc.Load(body) && FindElementText(doc, localName, out);
}

bool ExtractUpnpError(std::string_view body, std::string* code, std::string* description) {
    XmlDocument doc;
    if (!doc.Load(body) || !FindElementText(doc, "errorCode", code)) {
        return false;
    }
    if (!FindElementText(doc, "errorDescription", description)) {
        description->clear();
    }
    return true;
}

}  // namespace upnp
