// A whole gateway on loopback for tests of a run: an SSDP responder on a UDP
// port of 127.0.0.1 and an HTTP server that serves the device description and
// answers AddPortMapping posts as scripted. Each on its own thread. It can
// also stand for several devices on one network (a router and a device that
// answers every search before it), each with a description of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Socket.h"
#include "upnp/RouterDevice.h"

class ScriptedGateway {
public:
    // How one action post is answered.
    struct SoapReply {
        SoapReply() = default;
        SoapReply(int status, std::string errorCode, std::string errorDescription,
                  std::vector<std::pair<std::string, std::string>> values = {})
            : status(status),
              errorCode(std::move(errorCode)),
              errorDescription(std::move(errorDescription)),
              values(std::move(values)) {}

        int status = 200;  // 200: the response envelope; 0: no answer at all; else a UPnP fault
        std::string errorCode;  // for a fault, e.g. "718"
        std::string errorDescription;
        // The response's output arguments, e.g. {"NewExternalIPAddress", "1.2.3.4"}.
        std::vector<std::pair<std::string, std::string>> values;
    };
    // One action post as received.
    struct ActionPost {
        std::string action;  // from the SOAPAction header
        std::string path;    // of the request line
        std::string body;
        std::string soapAction;  // the header's whole value, quotes included
    };

    // One device: where its description lies and which searches it answers.
    struct Device {
        std::string path = "/rootDesc.xml";
        std::string description;  // "BASE" stands for http://127.0.0.1:PORT; empty: the usual
        std::vector<std::string> answers;  // search targets answered; empty: every search
        // Lines of its answers end in LF alone (the HTTP replies of the whole
        // gateway too).
        bool lfOnly = false;
        // The usual description's WANIPConnection version: 2 offers
        // GetListOfPortMappings (answered from the served table).
        int wanIpVersion = 1;
    };

    explicit ScriptedGateway(bool answerSearches = true);
    // Answers each search with every device that answers its target, in the
    // given order, after sending `noise` (datagrams, "BASE" filled in) to
    // the first search.
    explicit ScriptedGateway(std::vector<Device> devices, std::vector<std::string> noise = {});
    ~ScriptedGateway();
    ScriptedGateway(const ScriptedGateway&) = delete;
    ScriptedGateway& operator=(const ScriptedGateway&) = delete;

    bool Ready() const;
    // The gateway also answers the IPv6 search and serves HTTP on [::1] (at
    // the same port numbers), and its usual description offers IPv6
    // firewall control unless told not to. Over IPv6 it names `udn`: another
    // stands for a second device that answers the IPv6 search. False when
    // this machine has no IPv6 loopback.
    bool ServeIpv6(bool offerFirewall = true, std::string udn = kUdn);
    static constexpr char kUdn[] = "uuid:scripted-gateway";
    int Ipv6Searches() const;
    std::uint16_t HttpPort() const { return httpPort_; }
    std::string Location() const;  // http://127.0.0.1:PORT/rootDesc.xml
    std::string Url(const std::string& path) const;

    // Searches that go only to this responder, listening `listenMs`.
    DiscoveryTargets Targets(unsigned listenMs = 1500) const;

    // Replies to the next AddPortMapping posts, in order; once used up, posts get 200.
    void ScriptSoapReplies(std::vector<SoapReply> replies);
    // The same for any other action (an empty response once used up).
    void ScriptActionReplies(const std::string& action, std::vector<SoapReply> replies);

    // GetGenericPortMappingEntry posts are answered from `entries` (not from
    // the scripted replies), texts as they are (a bare "&" stays bare); an
    // entry described "FAULT <code>" gets that UPnP fault instead. An
    // index past the end gets the fault `endCode`, or, when it is empty, a
    // made-up entry: a table that never ends. GetListOfPortMappings posts
    // get the entries of the asked protocol in one document, as miniupnpd
    // sends it, unless replies are scripted for that action.
    void ServeMappingTable(std::vector<PortMappingEntry> entries, std::string endCode = "713");
    // What GetStatusInfo reports for each control path ("Connected"…); a
    // path not listed answers it with a UPnP fault.
    void ScriptConnectionStatus(std::map<std::string, std::string> statusByPath);

    // Each answer to a search goes out this late, as a router's that waits
    // before it answers (miniupnpd: 50 ms and more).
    void SetSearchAnswerDelay(unsigned ms) { searchAnswerDelayMs_ = ms; }

    int Searches() const;
    int DescriptionGets() const;
    // The bodies of the AddPortMapping posts received, in order.
    std::vector<std::string> Posts() const;
    // Every action post received, in order.
    std::vector<ActionPost> ActionPosts() const;
    // Drops the posts kept so far, so that a long test keeps no record of them.
    void ForgetPosts();
    // The posts of one action, in order.
    std::vector<ActionPost> PostsOf(const std::string& action) const;
    // The paths of the GET requests, in order.
    std::vector<std::string> Gets() const;

    void Stop();

private:
    ScriptedGateway(std::vector<Device> devices, std::vector<std::string> noise,
                    bool answerSearches);
    void ServeSsdp();
    void ServeSsdp6();
    // The answers of the devices to a search for `searchTarget`, their
    // locations under `base`.
    std::vector<std::string> AnswersTo(const std::string& searchTarget,
                                       const std::string& base) const;
    void ServeHttp();
    void ServeConnection(platform::SocketHandle c, const std::string& udn = kUdn);

    std::string Fill(std::string text) const;

    bool answerSearches_;
    std::vector<Device> devices_;
    std::vector<std::string> noise_;
    std::map<std::string, std::string> statusByPath_;
    platform::SocketHandle udp_ = platform::kInvalidSocket;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t udpPort_ = 0;
    std::uint16_t httpPort_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> searchAnswerDelayMs_{0};
    mutable std::mutex lock_;
    std::map<std::string, std::deque<SoapReply>> replies_;  // by action
    bool tableServed_ = false;
    std::vector<PortMappingEntry> table_;
    std::string tableEndCode_;
    int searches_ = 0;
    std::vector<std::string> gets_;
    std::vector<ActionPost> posts_;
    std::thread ssdpThread_;
    std::thread httpThread_;
    platform::SocketHandle udp6_ = platform::kInvalidSocket;
    platform::SocketHandle listener6_ = platform::kInvalidSocket;
    std::atomic<bool> offerFirewall_{false};
    bool ipv6Served_ = false;
    std::string udn6_;
    int searches6_ = 0;
    std::thread ssdp6Thread_;
    std::thread http6Thread_;
};

// GetSpecificPortMappingEntry's answer: the mapping that holds the port.
ScriptedGateway::SoapReply HolderReply(const std::string& client, const std::string& port,
                                       const std::string& description);

// The value of an argument in an AddPortMapping envelope ("NewExternalPort"…).
std::string SoapArgument(const std::string& envelope, const std::string& name);
