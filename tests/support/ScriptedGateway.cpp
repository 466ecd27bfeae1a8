#include "support/ScriptedGateway.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Clock.h"
#include "support/LoopbackListener.h"
#include "text/Text.h"

namespace {

constexpr int kSliceMs = loopback::kSliceMs;

std::string HttpReply(int status, const std::string& reason, const std::string& body) {
    return "HTTP/1.0 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The same message with LF alone ending each line of its head, as some
// routers write them.
std::string LfOnly(std::string message) {
    const std::size_t head = message.find("\r\n\r\n");
    std::size_t end = head == std::string::npos ? message.size() : head + 4;
    for (std::size_t at = message.find("\r\n"); at < end; at = message.find("\r\n", at)) {
        message.erase(at, 1);
        --end;
        ++at;
    }
    return message;
}

constexpr char kFirewallService[] =
    "<service><serviceType>urn:schemas-upnp-org:service:WANIPv6FirewallControl:1</serviceType>"
    "<serviceId>urn:upnp-org:serviceId:WANIPv6Firewall1</serviceId>"
    "<SCPDURL>/WANIP6FC.xml</SCPDURL><controlURL>/ctl/IP6FCtl</controlURL>"
    "<eventSubURL>/evt/IP6FCtl</eventSubURL></service>";

std::string Description(std::uint16_t port, bool firewall, const std::string& udn,
                        int wanIpVersion) {
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    return "<?xml version=\"1.0\"?>\r\n"
           "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion>"
           "<URLBase>" +
           base +
           "</URLBase>"
           "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
           "<friendlyName>Scripted gateway</friendlyName><UDN>" +
           udn +
           "</UDN><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>"
           "<serviceList><service>"
           "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:" +
           std::to_string(wanIpVersion) +
           "</serviceType>"
           "<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
           "<SCPDURL>/WANIPCn.xml</SCPDURL><controlURL>/ctl/IPConn</controlURL>"
           "<eventSubURL>/evt/IPConn</eventSubURL>"
           "</service>" +
           std::string(firewall ? kFirewallService : "") +
           "</serviceList></device></deviceList></device></deviceList>"
           "</device></root>";
}

std::string SoapOk(const std::string& action,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    std::string s =
        "<?xml version=\"1.0\"?>\r\n<s:Envelope "
        "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
        "<u:" +
        action + "Response xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">";
    for (const auto& [name, value] : values) {
        s += "<" + name + ">" + value + "</" + name + ">";
    }
    return s + "</u:" + action + "Response></s:Body></s:Envelope>";
}

// The value of a header line of `head` (any letter case), trimmed.
std::string HeaderValue(const std::string& head, const std::string& name) {
    std::string rest = head;
    std::string line;
    while (text::CutLine(rest, line)) {
        if (text::StartsWithNoCase(line, name + ":")) {
            return text::Trim(line.substr(name.size() + 1));
        }
    }
    return std::string();
}

// "Action" from a SOAPAction value: "urn:...:WANIPConnection:1#Action".
std::string SoapActionOf(const std::string& soapAction) {
    const std::size_t hash = soapAction.rfind('#');
    if (hash == std::string::npos) {
        return std::string();
    }
    std::string action = soapAction.substr(hash + 1);
    while (!action.empty() && (action.back() == '"' || action.back() == ' ')) {
        action.pop_back();
    }
    return action;
}

std::string SoapFault(const std::string& code, const std::string& description) {
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><s:Fault>"
           "<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
           "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
           code + "</errorCode><errorDescription>" + description +
           "</errorDescription></UPnPError></detail></s:Fault></s:Body></s:Envelope>";
}

std::string SoapEntry(const PortMappingEntry& e) {
    auto field = [](const char* name, const std::string& value) {
        return std::string("<") + name + ">" + value + "</" + name + ">";
    };
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
           "<u:GetGenericPortMappingEntryResponse "
           "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" +
           field("NewRemoteHost", e.remoteHost) + field("NewExternalPort", e.externalPort) +
           field("NewProtocol", e.protocol) + field("NewInternalPort", e.internalPort) +
           field("NewInternalClient", e.internalClient) + field("NewEnabled", e.enabled) +
           field("NewPortMappingDescription", e.description) +
           field("NewLeaseDuration", e.leaseDuration) +
           "</u:GetGenericPortMappingEntryResponse></s:Body></s:Envelope>";
}

// GetListOfPortMappings' answer as miniupnpd 2.3.1 writes it: the document
// in CDATA, the entries of one protocol.
std::string SoapListing(const std::vector<PortMappingEntry>& table, const std::string& protocol) {
    std::string list =
        "<![CDATA[<p:PortMappingList xmlns:p=\"urn:schemas-upnp-org:gw:WANIPConnection\">";
    for (const PortMappingEntry& e : table) {
        if (e.protocol != protocol) {
            continue;
        }
        list += "<p:PortMappingEntry>";
        for (const upnp::EntryField& f : upnp::kEntryFields) {
            list += std::string("<p:") + f.listName + ">" + e.*f.member + "</p:" + f.listName + ">";
        }
        list += "</p:PortMappingEntry>";
    }
    return SoapOk("GetListOfPortMappings", {{"NewPortListing", list + "</p:PortMappingList>]]>"}});
}

}  // namespace

ScriptedGateway::ScriptedGateway(bool answerSearches)
    : ScriptedGateway(std::vector<Device>{Device()}, {}, answerSearches) {}

ScriptedGateway::ScriptedGateway(std::vector<Device> devices, std::vector<std::string> noise)
    : ScriptedGateway(std::move(devices), std::move(noise), true) {}

ScriptedGateway::ScriptedGateway(std::vector<Device> devices, std::vector<std::string> noise,
                                 bool answerSearches)
    : answerSearches_(answerSearches), devices_(std::move(devices)), noise_(std::move(noise)) {
    listener_ = loopback::Listen(&httpPort_);  // first: it also starts Winsock
    udp_ = platform::OpenUdpSocket();
    if (udp_ != platform::kInvalidSocket && platform::BindUdp(udp_, loopback::Address(), 0) == 0) {
        udpPort_ = loopback::LocalPort(udp_);
    }
    ssdpThread_ = std::thread([this] { ServeSsdp(); });
    httpThread_ = std::thread([this] { ServeHttp(); });
}

ScriptedGateway::~ScriptedGateway() {
    Stop();
}

void ScriptedGateway::Stop() {
    stop_ = true;
    if (ssdpThread_.joinable()) {
        ssdpThread_.join();
    }
    if (httpThread_.joinable()) {
        httpThread_.join();
    }
    if (udp_ != platform::kInvalidSocket) {
        platform::CloseSocket(udp_);
        udp_ = platform::kInvalidSocket;
    }
    if (listener_ != platform::kInvalidSocket) {
        platform::CloseSocket(listener_);
        listener_ = platform::kInvalidSocket;
    }
    for (std::thread* t : {&ssdp6Thread_, &http6Thread_}) {
        if (t->joinable()) {
            t->join();
        }
    }
    for (platform::SocketHandle* s : {&udp6_, &listener6_}) {
        platform::CloseSocket(*s);
        *s = platform::kInvalidSocket;
    }
}

bool ScriptedGateway::ServeIpv6(bool offerFirewall, std::string udn) {
    udn6_ = std::move(udn);
    listener6_ = loopback::Listen6(httpPort_);
    udp6_ = platform::OpenUdpSocket6();
    if (listener6_ == platform::kInvalidSocket || udp6_ == platform::kInvalidSocket ||
        platform::BindIPv6(udp6_, loopback::Address6(), udpPort_) != 0) {
        return false;
    }
    offerFirewall_ = offerFirewall;
    ipv6Served_ = true;
    ssdp6Thread_ = std::thread([this] { ServeSsdp6(); });
    http6Thread_ = std::thread([this] {
        loopback::AcceptEach(
            listener6_, [this] { return stop_.load(); },
            [this](platform::SocketHandle c) { ServeConnection(c, udn6_); });
    });
    return true;
}

int ScriptedGateway::Ipv6Searches() const {
    std::lock_guard<std::mutex> hold(lock_);
    return searches6_;
}

void ScriptedGateway::ServeSsdp6() {
    while (!stop_) {
        if (platform::WaitReadable(udp6_, kSliceMs) != 1) {
            continue;
        }
        char buffer[2048];
        platform::Ipv6Address from;
        std::uint16_t fromPort = 0;
        const long n = platform::ReceiveDatagram6(udp6_, buffer, sizeof buffer, &from, &fromPort);
        if (n <= 0) {
            continue;
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            ++searches6_;
        }
        const std::string searchTarget =
            HeaderValue(std::string(buffer, static_cast<std::size_t>(n)), "ST");
        for (const std::string& answer :
             AnswersTo(searchTarget, "http://[::1]:" + std::to_string(httpPort_))) {
            platform::SendDatagram6(udp6_, answer.data(), answer.size(), from, fromPort);
        }
    }
}

std::vector<std::string> ScriptedGateway::AnswersTo(const std::string& searchTarget,
                                                    const std::string& base) const {
    std::vector<std::string> answers;
    for (const Device& d : devices_) {
        if (!d.answers.empty() &&
            std::find(d.answers.begin(), d.answers.end(), searchTarget) == d.answers.end()) {
            continue;
        }
        const std::string answer =
            "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + searchTarget +
            "\r\nEXT:\r\nSERVER: Scripted/1.0 UPnP/1.0 Gateway/1.0\r\n"
            "Location: " +
            base + d.path + "\r\n\r\n";
        answers.push_back(d.lfOnly ? LfOnly(answer) : answer);
    }
    return answers;
}

bool ScriptedGateway::Ready() const {
    return udpPort_ != 0 && httpPort_ != 0;
}

std::string ScriptedGateway::Location() const {
    return Url("/rootDesc.xml");
}

std::string ScriptedGateway::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(httpPort_) + path;
}

std::string ScriptedGateway::Fill(std::string text) const {
    const std::string base = Url("");
    for (std::size_t at = text.find("BASE"); at != std::string::npos;
         at = text.find("BASE", at + base.size())) {
        text.replace(at, 4, base);
    }
    return text;
}

DiscoveryTargets ScriptedGateway::Targets(unsigned listenMs) const {
    DiscoveryTargets t;
    t.useMulticast = false;
    t.useDefaultGateways = false;
    t.extraTargets = {loopback::Address()};
    t.port = udpPort_;
    t.bindPort = 0;
    t.listenMs = listenMs;
    t.searchIpv6 = ipv6Served_;
    t.ipv6UseMulticast = false;
    t.ipv6ExtraTargets = {loopback::Address6()};
    platform::LocalIpv6 source;
    source.address = loopback::Address6();
    t.ipv6Source = source;
    return t;
}

void ScriptedGateway::ScriptSoapReplies(std::vector<SoapReply> replies) {
    ScriptActionReplies("AddPortMapping", std::move(replies));
}

void ScriptedGateway::ScriptActionReplies(const std::string& action,
                                          std::vector<SoapReply> replies) {
    std::lock_guard<std::mutex> hold(lock_);
    replies_[action].assign(replies.begin(), replies.end());
}

void ScriptedGateway::ServeMappingTable(std::vector<PortMappingEntry> entries,
                                        std::string endCode) {
    std::lock_guard<std::mutex> hold(lock_);
    tableServed_ = true;
    table_ = std::move(entries);
    tableEndCode_ = std::move(endCode);
}

void ScriptedGateway::ScriptConnectionStatus(std::map<std::string, std::string> statusByPath) {
    std::lock_guard<std::mutex> hold(lock_);
    statusByPath_ = std::move(statusByPath);
}

int ScriptedGateway::Searches() const {
    std::lock_guard<std::mutex> hold(lock_);
    return searches_;
}

int ScriptedGateway::DescriptionGets() const {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(gets_.size());
}

std::vector<std::string> ScriptedGateway::Gets() const {
    std::lock_guard<std::mutex> hold(lock_);
    return gets_;
}

std::vector<std::string> ScriptedGateway::Posts() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> bodies;
    for (const ActionPost& post : posts_) {
        if (post.action == "AddPortMapping") {
            bodies.push_back(post.body);
        }
    }
    return bodies;
}

std::vector<ScriptedGateway::ActionPost> ScriptedGateway::ActionPosts() const {
    std::lock_guard<std::mutex> hold(lock_);
    return posts_;
}

std::vector<ScriptedGateway::ActionPost> ScriptedGateway::PostsOf(const std::string& action) const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<ActionPost> found;
    for (const ActionPost& p : posts_) {
        if (p.action == action) {
            found.push_back(p);
        }
    }
    return found;
}

void ScriptedGateway::ForgetPosts() {
    std::lock_guard<std::mutex> hold(lock_);
    posts_.clear();
    posts_.shrink_to_fit();
}

void ScriptedGateway::ServeSsdp() {
    while (!stop_ && udp_ != platform::kInvalidSocket) {
        if (platform::WaitReadable(udp_, kSliceMs) != 1) {
            continue;
        }
        char buffer[2048];
        std::uint32_t from = 0;
        std::uint16_t fromPort = 0;
        const long n = platform::ReceiveDatagram(udp_, buffer, sizeof buffer, &from, &fromPort);
        if (n <= 0) {
            continue;
        }
        bool first = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            first = searches_++ == 0;
        }
        if (!answerSearches_) {
            continue;
        }
        if (first) {
            for (const std::string& scripted : noise_) {
                const std::string datagram = Fill(scripted);
                platform::SendDatagram(udp_, datagram.data(), datagram.size(), from, fromPort);
            }
        }
        platform::SleepMs(searchAnswerDelayMs_);
        const std::string searchTarget =
            HeaderValue(std::string(buffer, static_cast<std::size_t>(n)), "ST");
        for (const std::string& answer : AnswersTo(searchTarget, Url(""))) {
            platform::SendDatagram(udp_, answer.data(), answer.size(), from, fromPort);
        }
    }
}

void ScriptedGateway::ServeHttp() {
    if (listener_ == platform::kInvalidSocket) {
        return;
    }
    loopback::AcceptEach(
        listener_, [this] { return stop_.load(); },
        [this](platform::SocketHandle c) { ServeConnection(c); });
}

void ScriptedGateway::ServeConnection(platform::SocketHandle c, const std::string& udn) {
    const bool lfOnly =
        std::any_of(devices_.begin(), devices_.end(), [](const Device& d) { return d.lfOnly; });
    const auto send = [c, lfOnly](const std::string& reply) {
        loopback::SendAll(c, lfOnly ? LfOnly(reply) : reply);
    };
    std::string request;
    std::size_t headerEnd = std::string::npos;
    std::size_t wanted = 0;
    for (int idle = 0; !stop_ && idle < 250;) {  // gives up after 5 s without data
        if (headerEnd != std::string::npos && request.size() >= wanted) {
            break;
        }
        if (platform::WaitReadable(c, kSliceMs) != 1) {
            ++idle;
            continue;
        }
        char buffer[65536];
        const long n = platform::ReceiveSome(c, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        idle = 0;
        request.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos) {
            headerEnd = request.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::size_t length = 0;
                std::string head = request.substr(0, headerEnd + 2), line;
                while (text::CutLine(head, line)) {
                    if (text::StartsWithNoCase(line, "Content-Length:")) {
                        length = static_cast<std::size_t>(text::AtoiPrefix(line.substr(15)));
                    }
                }
                wanted = headerEnd + 4 + length;
            }
        }
    }
    if (headerEnd == std::string::npos) {
        return;
    }
    const std::size_t pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    if (request.rfind("GET ", 0) == 0) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            gets_.push_back(path);
        }
        for (const Device& d : devices_) {
            if (d.path == path) {
                send(HttpReply(200, "OK",
                               d.description.empty()
                                   ? Description(httpPort_, offerFirewall_, udn, d.wanIpVersion)
                                   : Fill(d.description)));
                return;
            }
        }
        send(HttpReply(404, "Not Found", ""));
        return;
    }
    ActionPost post;
    post.soapAction = HeaderValue(request.substr(0, headerEnd + 2), "SOAPAction");
    post.action = SoapActionOf(post.soapAction);
    post.path = path;
    post.body = request.substr(headerEnd + 4);
    const bool statusQuery = post.action == "GetStatusInfo";
    SoapReply reply;
    std::string answer;
    std::string connectionStatus;
    {
        std::lock_guard<std::mutex> hold(lock_);
        posts_.push_back(post);
        std::deque<SoapReply>& queue = replies_[post.action];
        if (statusQuery) {
            const auto known = statusByPath_.find(path);
            if (known == statusByPath_.end()) {
                reply = SoapReply{500, "401", "Invalid Action"};
            } else {
                connectionStatus = known->second;
            }
        } else if (post.action == "GetGenericPortMappingEntry" && tableServed_) {
            const auto index = static_cast<std::size_t>(
                std::atol(SoapArgument(post.body, "NewPortMappingIndex").c_str()));
            if (index < table_.size() && table_[index].description.rfind("FAULT ", 0) == 0) {
                answer = HttpReply(500, "Internal Server Error",
                                   SoapFault(table_[index].description.substr(6), "Action Failed"));
            } else if (index < table_.size()) {
                answer = HttpReply(200, "OK", SoapEntry(table_[index]));
            } else if (tableEndCode_.empty()) {
                const std::string port = std::to_string(10000 + index % 50000);
                answer =
                    HttpReply(200, "OK",
                              SoapEntry({"", port, "TCP", port, "127.0.0.1", "1", "endless", "0"}));
            } else {
                answer = HttpReply(500, "Internal Server Error",
                                   SoapFault(tableEndCode_, "end of the table"));
            }
        } else if (post.action == "GetListOfPortMappings" && tableServed_ && queue.empty()) {
            answer =
                HttpReply(200, "OK", SoapListing(table_, SoapArgument(post.body, "NewProtocol")));
        } else if (!queue.empty()) {
            reply = queue.front();
            queue.pop_front();
        }
    }
    if (!answer.empty()) {
        send(answer);
    } else if (reply.status == 0) {
        // Taken in, never answered: the connection just closes.
    } else if (reply.status != 200) {
        send(HttpReply(reply.status, "Internal Server Error",
                       SoapFault(reply.errorCode, reply.errorDescription)));
    } else if (statusQuery) {
        loopback::SendAll(
            c, HttpReply(200, "OK",
                         SoapOk("GetStatusInfo", {{"NewConnectionStatus", connectionStatus},
                                                  {"NewLastConnectionError", "ERROR_NONE"},
                                                  {"NewUptime", "1"}})));
    } else {
        send(HttpReply(200, "OK", SoapOk(post.action, reply.values)));
    }
}

ScriptedGateway::SoapReply HolderReply(const std::string& client, const std::string& port,
                                       const std::string& description) {
    return {200,
            "",
            "",
            {{"NewInternalPort", port},
             {"NewInternalClient", client},
             {"NewPortMappingDescription", description}}};
}

std::string SoapArgument(const std::string& envelope, const std::string& name) {
    // "<Name>" or "<Name attributes...>"
    std::size_t at = 0;
    for (;;) {
        at = envelope.find("<" + name, at);
        if (at == std::string::npos) {
            return "<missing>";
        }
        const char next =
            at + 1 + name.size() < envelope.size() ? envelope[at + 1 + name.size()] : 0;
        if (next == '>' || next == ' ') {
            break;
        }
        ++at;
    }
    const std::size_t from = envelope.find('>', at) + 1;
    const std::size_t to = envelope.find("</" + name + ">", from);
    return to == std::string::npos ? "<unterminated>" : envelope.substr(from, to - from);
}
