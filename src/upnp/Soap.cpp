#include "upnp/Soap.h"

#include "text/Text.h"

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

std::string DecodePredefinedEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    static constexpr struct {
        std::string_view entity;
        char c;
    } kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (std::size_t i = 0; i < s.size();) {
        bool replaced = false;
        if (s[i] == '&') {
            for (const auto& e : kEntities) {
                if (s.substr(i, e.entity.size()) == e.entity) {
                    out.push_back(e.c);
                    i += e.entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out.push_back(s[i++]);
        }
    }
    return out;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// The character data right after the first start tag whose local name is
// `localName`, up to the next markup.
bool FindElementText(std::string_view body, std::string_view localName, std::string* out) {
    for (std::size_t lt = body.find('<'); lt != std::string_view::npos;
         lt = body.find('<', lt + 1)) {
        std::size_t nameStart = lt + 1;
        std::size_t nameEnd = nameStart;
        while (nameEnd < body.size() && (IsNameChar(body[nameEnd]) || body[nameEnd] == ':')) {
            ++nameEnd;
        }
        std::string_view qname = body.substr(nameStart, nameEnd - nameStart);
        const std::size_t colon = qname.rfind(':');
        const std::string_view local =
            colon == std::string_view::npos ? qname : qname.substr(colon + 1);
        if (local != localName) {
            continue;
        }
        const std::size_t gt = body.find('>', nameEnd);
        if (gt == std::string_view::npos) {
            return false;
        }
        if (body[gt - 1] == '/') {  // an empty element
            out->clear();
            return true;
        }
        const std::size_t next = body.find('<', gt + 1);
        const std::string_view content = body.substr(
            gt + 1, next == std::string_view::npos ? std::string_view::npos : next - gt - 1);
        *out = text::Trim(DecodePredefinedEntities(content));
        return true;
    }
    return false;
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
    return FindElementText(body, localName, out);
}

bool ExtractUpnpError(std::string_view body, std::string* code, std::string* description) {
    if (!FindElementText(body, "errorCode", code)) {
        return false;
    }
    if (!FindElementText(body, "errorDescription", description)) {
        description->clear();
    }
    return true;
}

}  // namespace upnp
