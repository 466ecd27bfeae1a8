// A whole gateway on loopback for tests of a run: an SSDP responder on a UDP
// port of 127.0.0.1 and an HTTP server that serves the device description and
// answers AddPortMapping posts as scripted. Each on its own thread.
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

        int status = 200;       // 200: the response envelope; otherwise a UPnP fault
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
    };

    explicit ScriptedGateway(bool answerSearches = true);
    ~ScriptedGateway();
    ScriptedGateway(const ScriptedGateway&) = delete;
    ScriptedGateway& operator=(const ScriptedGateway&) = delete;

    bool Ready() const;
    std::uint16_t HttpPort() const { return httpPort_; }
    std::string Location() const;  // http://127.0.0.1:PORT/rootDesc.xml

    // Searches that go only to this responder, listening `listenMs`.
    DiscoveryTargets Targets(unsigned listenMs = 1500) const;

    // Replies to the next AddPortMapping posts, in order; once used up, posts get 200.
    void ScriptSoapReplies(std::vector<SoapReply> replies);
    // The same for any other action (an empty response once used up).
    void ScriptActionReplies(const std::string& action, std::vector<SoapReply> replies);

    // GetGenericPortMappingEntry posts are answered from `entries` (not from
    // the scripted replies); an index past the end gets the fault `endCode`,
    // or, when it is empty, a made-up entry: a table that never ends.
    void ServeMappingTable(std::vector<PortMappingEntry> entries, std::string endCode = "713");

    int Searches() const;
    int DescriptionGets() const;
    // The bodies of the AddPortMapping posts received, in order.
    std::vector<std::string> Posts() const;
    // Every action post received, in order.
    std::vector<ActionPost> ActionPosts() const;
    // Drops the posts kept so far, so that a long test keeps no record of them.
    void ForgetPosts();

    void Stop();

private:
    void ServeSsdp();
    void ServeHttp();
    void ServeConnection(platform::SocketHandle c);

    bool answerSearches_;
    platform::SocketHandle udp_ = platform::kInvalidSocket;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    std::uint16_t udpPort_ = 0;
    std::uint16_t httpPort_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::map<std::string, std::deque<SoapReply>> replies_;  // by action
    bool tableServed_ = false;
    std::vector<PortMappingEntry> table_;
    std::string tableEndCode_;
    int searches_ = 0;
    int gets_ = 0;
    std::vector<ActionPost> posts_;
    std::thread ssdpThread_;
    std::thread httpThread_;
};

// The value of an argument in an AddPortMapping envelope ("NewExternalPort"…).
std::string SoapArgument(const std::string& envelope, const std::string& name);
