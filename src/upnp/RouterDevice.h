// The one gateway of a run: found by an SSDP search, then asked to map ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/IpAddress.h"
#include "platform/Socket.h"
#include "upnp/FailureReason.h"
#include "upnp/HttpHeaderList.h"
#include "upnp/ServiceInfo.h"
#include "upnp/Soap.h"

// Where a search goes. The defaults are the real thing; tests point it at
// loopback responders instead of the machine's gateways.
struct DiscoveryTargets {
    std::uint32_t multicastAddress;           // 239.255.255.250, network order
    bool useMulticast = true;                 // false: no copy to multicastAddress (loopback tests)
    std::uint16_t port = 1900;                // destination port of every datagram
    std::uint16_t bindPort = 1900;            // tried first; an ephemeral port if it is taken
    bool useDefaultGateways = true;           // add each adapter's default gateway
    std::vector<std::uint32_t> extraTargets;  // further unicast destinations
    unsigned listenMs = 3000;
    // The search is sent again at this pace while listening: a router that
    // comes up (or back) during the search still answers in this run.
    unsigned resendMs = 1000;

    DiscoveryTargets();
};

class CRouterDevice {
public:
    std::string location;  // description URL from the answer
    IpAddress address;     // where the answer came from

    CRouterDevice() = default;
    virtual ~CRouterDevice() = default;

    // 0: a gateway answered; `addr` and `loc` (and the fields) hold it. -1 otherwise.
    int Discover(IpAddress& addr, std::string& loc);
    int Discover(IpAddress& addr, std::string& loc, const DiscoveryTargets& targets);

    // Looks without waiting whether `s` is readable.
    static bool WaitReadable(platform::SocketHandle s);

    // This machine's address on the interface that reaches `address`.
    IpAddress GetLocalAddress() const;

    static int SplitUrl(std::string url, std::string& host, int& port, std::string& path);

    int HttpRequest(std::string url, std::string method, const HttpHeaderList& requestHeaders,
                    const std::string& requestBody, HttpHeaderList& replyHeaders,
                    std::string& replyBody);

    int ParseDescription(std::string description, std::string serviceFragment, ServiceInfo* info);

    // The WAN connection service that actions go to: fetches the description
    // at `location` and fills `service` and `controlUrl`. 0 or -1.
    int ReadService();

    // Posts `action` with `arguments` to `controlUrl` (ReadService first).
    // 0 with the response body on status 200; -1 with the reason (a UPnP
    // fault's code included) otherwise.
    int InvokeAction(const std::string& action, const upnp::SoapArguments& arguments,
                     std::string* replyBody);

    int AddPortMapping(int externalPort, int internalPort, std::string protocol,
                       std::string description);

    // Filled by ReadService.
    ServiceInfo service;
    std::string controlUrl;

    // The reason of the last failure of Discover, HttpRequest or AddPortMapping.
    const FailureReason& LastFailure() const { return failure_; }

    // Time allowed for a reply's header block and, separately, for its body
    // (ms, 3000 each). Tests shorten them.
    void SetHttpBudgets(int headerMs, int bodyMs) {
        headerBudgetMs_ = headerMs;
        bodyBudgetMs_ = bodyMs;
    }

protected:
    // Posts a ready envelope for `action` to `controlUrl`.
    int PostAction(const std::string& action, const std::string& envelope, std::string* replyBody);

    FailureReason failure_;
    int headerBudgetMs_ = 3000;
    int bodyBudgetMs_ = 3000;
};
