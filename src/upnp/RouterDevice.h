// The one gateway of a run: found by an SSDP search, then asked to map ports.
//
// Errors in src/upnp: every operation answers 0 or -1, and the gateway object
// keeps why the last one failed (LastFailure), for callers that report it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/IpAddress.h"
#include "platform/Socket.h"
#include "upnp/FailureReason.h"
#include "upnp/HttpHeaderList.h"
#include "upnp/PortMappingEntry.h"
#include "upnp/ServiceInfo.h"
#include "upnp/Soap.h"

namespace upnp {
class SearchPace;
class SsdpSearch;
}  // namespace upnp

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
    // The device-type searches follow each first search after this long,
    // unless a gateway was found by then: later than a usual router's
    // answer, so that it is asked only once (each search it answers delays
    // its answer to the description request).
    unsigned furtherSearchDelayMs = 100;
    // Once another way to the gateway is certain (SearchFallback), a UPnP
    // gateway is still awaited until this long after the first search, and
    // not longer: miniupnpd answers after 50 to 85 ms (the lab, 200 searches
    // at load average 6), and a PCP-only router is then used a quarter of a
    // second after the start instead of after the whole listening time.
    unsigned fallbackGraceMs = 300;

    // The IPv6 search for the gateway's firewall control (the pinholes),
    // sent with the first search from this machine's stable global address
    // toward the gateways; no search without such an address.
    bool searchIpv6 = true;
    bool ipv6UseMulticast = true;                         // false: not to ff02::c (loopback tests)
    std::vector<platform::Ipv6Address> ipv6ExtraTargets;  // further unicast destinations
    // The address to search from; unset: chosen among this machine's
    // addresses (StableIpv6.h). Tests set ::1.
    std::optional<platform::LocalIpv6> ipv6Source;
    // This machine's IPv6 addresses toward the gateways; unset: as the
    // system lists them. Tests set addresses of a provider's prefix.
    std::optional<std::vector<platform::LocalIpv6>> localIpv6;
    // How long the IPv6 answer is awaited once the gateway is known, when its
    // description offers firewall control and the answer has not come yet.
    unsigned ipv6AnswerMs = 1000;

    DiscoveryTargets();
};

// Another way to the gateway, watched while the search listens (the PCP and
// NAT-PMP probe, sent beside the search): when `socket` becomes readable the
// search calls `settled`, which takes in what came and says whether that way
// is certain now; from then on the search listens only until
// DiscoveryTargets::fallbackGraceMs after its first search.
struct SearchFallback {
    platform::SocketHandle socket = platform::kInvalidSocket;
    std::function<bool()> settled;
};

// What the IPv6 search found for the chosen gateway, the pinholes' way in.
struct Ipv6Gateway {
    enum class State {
        kNotSearched,      // the search was not asked for
        kNoStableAddress,  // this machine has no stable global IPv6 address toward the router
        kNoService,        // the gateway's description offers no IPv6 firewall control
        kNoAnswer,         // nothing answered the IPv6 search in time
        kFound,
    };
    State state = State::kNotSearched;
    platform::Ipv6Address source;  // this machine's address, the pinholes' InternalClient
    platform::Ipv6Address router;  // where the answer came from
    std::string location;          // the description's URL the answer named
};

class CRouterDevice {
public:
    std::string location;  // description URL from the answer
    IpAddress address;     // where the answer came from
    // A device reached over IPv6 (the firewall control of Ipv6Gateway):
    // every request goes to `address6` from `source6`, not to `address`.
    bool overIpv6 = false;
    platform::Ipv6Address address6;
    platform::Ipv6Address source6;
    // Filled by Discover when the targets ask for the IPv6 search.
    Ipv6Gateway ipv6;
    // This machine's IPv6 addresses toward the gateways, read once by
    // Discover (also when it found no gateway), whether or not it searched
    // over IPv6: the line (MAP-E, DS-Lite) is worked out from them.
    std::vector<platform::LocalIpv6> localIpv6;
    // Whether the description that ReadService read offers IPv6 firewall control.
    bool offersIpv6Firewall = false;
    // The first UDN of the last description read: which device it is,
    // whichever address it was read from.
    std::string udn;

    CRouterDevice() = default;
    virtual ~CRouterDevice() = default;

    // Searches for the gateway and its WAN connection service: the answers
    // are tried in the order they arrive (one per location), and the first
    // whose description holds such a service is taken at once. 0: `addr`
    // and `loc` (and the fields, the chosen service included) hold it. -1
    // otherwise, the record unchanged. With a `fallback`, the listening may
    // end before its time (SearchFallback).
    int Discover(IpAddress& addr, std::string& loc, const DiscoveryTargets& targets,
                 const SearchFallback* fallback = nullptr);

    // Told about every answer that Discover tried and passed over, with why.
    std::function<void(const std::string& location, const FailureReason& why)> onPassedOver;

    // This machine's address on the interface that reaches `address`.
    IpAddress GetLocalAddress() const;

    static int SplitUrl(std::string url, std::string& host, int& port, std::string& path);

    // One request and its reply. Once `address` is known (discovery fills
    // it), the request goes there whatever host the URL names.
    int HttpRequest(std::string url, std::string method, const HttpHeaderList& requestHeaders,
                    const std::string& requestBody, HttpHeaderList& replyHeaders,
                    std::string& replyBody);

    int ParseDescription(std::string description, std::string serviceFragment, ServiceInfo* info);

    // Every WANIPConnection and WANPPPConnection service (any version, any
    // URN domain) in document order, each with the document's URLBase. 0, or
    // -1 when the text is unreadable or holds none.
    int ReadWanServices(std::string description, std::vector<ServiceInfo>* services);

    // The WAN connection service that actions go to: fetches the description
    // at `location` and fills `service` and `controlUrl`. The first call
    // chooses among several services (see ChooseService); later calls find
    // the same one again. 0 or -1.
    int ReadService();
    // ReadService unless a service was read already: every action's first step.
    int EnsureService() { return controlUrl.empty() ? ReadService() : 0; }

    // Posts `action` with `arguments` to `controlUrl` (ReadService first).
    // 0 with the response body on status 200; -1 with the reason (a UPnP
    // fault's code included) otherwise.
    int InvokeAction(const std::string& action, const upnp::SoapArguments& arguments,
                     std::string* replyBody);

    // Asks for a permanent mapping; a router that refuses that with error 402
    // is asked once more for kLongestLeaseSeconds.
    int AddPortMapping(int externalPort, int internalPort, std::string protocol,
                       std::string description);
    static constexpr unsigned kLongestLeaseSeconds = 604800;  // a week
    // The InternalClient the last AddPortMapping asked for: where that
    // mapping forwards, even when this machine's address changed meanwhile.
    const std::string& LastInternalClient() const { return lastInternalClient_; }

    // The router's outside address as it states it (possibly empty or not
    // an address at all). 0, or -1 when it gives none.
    int GetExternalIPAddress(std::string* address);

    // The mapping that holds `externalPort`/`protocol` now. 0, or -1 (also
    // when there is none).
    int GetSpecificPortMappingEntry(int externalPort, const std::string& protocol,
                                    PortMappingEntry* entry);

    // Removes the mapping of `externalPort` and `protocol` (any remote
    // host). 0 or -1; a router without such a mapping answers 714.
    int DeletePortMapping(int externalPort, const std::string& protocol);

    // Entry `index` of the gateway's table. 0 or -1 (past the end too).
    int GetGenericPortMappingEntry(int index, PortMappingEntry* entry);
    // The whole table. A WANIPConnection:2 service is asked for it in one
    // answer per protocol (GetListOfPortMappings, entries by port); when it
    // refuses the action or its document cannot be read, and on every other
    // service, entry by entry from index 0 until the router says there is no
    // more (713, or 714 or 402) or kPortMappingTableCap entries were read
    // (then `capped`). An entry the router answered for but that could not be read
    // in full (another fault, a broken body) is kept with what could be read,
    // its reason at the same index of `unreadable` (empty for the others),
    // and the listing goes on. -1 when no answer came, or several such
    // entries in a row; `entries` then holds what was read before.
    static constexpr int kPortMappingTableCap = 1024;
    int ReadPortMappingTable(std::vector<PortMappingEntry>* entries, bool* capped,
                             std::vector<std::string>* unreadable = nullptr);
    // The table over GetListOfPortMappings alone: 0, 1 when the router
    // refused the action or sent a document that cannot be read (the
    // entries are then to be read one by one), -1 when no answer came.
    int ReadListedTable(std::vector<PortMappingEntry>* entries, bool* capped);

    // The IPv6 firewall control service, read over IPv6 from the
    // description at `location` (this object reached as `overIpv6`); it
    // takes the place of the WAN connection service. 0 or -1.
    int ReadFirewallService();
    // The pinhole actions of that service. The status: false/false when the
    // router's firewall lets everything in, or answers neither.
    int GetFirewallStatus(bool* firewallEnabled, bool* inboundPinholeAllowed);
    // Opens a pinhole to `internalClient`:`internalPort` from anywhere;
    // `protocol` "TCP" or "UDP". 0 with its UniqueID.
    int AddPinhole(const std::string& internalClient, int internalPort, const std::string& protocol,
                   unsigned leaseSeconds, std::string* uniqueId);
    int UpdatePinhole(const std::string& uniqueId, unsigned leaseSeconds);
    int DeletePinhole(const std::string& uniqueId);
    static constexpr unsigned kLongestPinholeSeconds = 86400;  // the service's maximum

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
    // Which of the description's WAN connection services was chosen, so that
    // the next read of the description finds the same one.
    struct ChosenService {
        bool made = false;
        std::size_t index = 0;  // among the WAN connection services
        std::string serviceType;
        std::string serviceId;
    };

    // With one service, that one. With several, the first whose
    // GetStatusInfo says Connected; failing that the first WANIPConnection,
    // else the first. Leaves `service` and `controlUrl` on the choice.
    std::size_t ChooseService(const std::vector<ServiceInfo>& services);
    // The remembered choice among `services`, or services.size().
    std::size_t FindChosen(const std::vector<ServiceInfo>& services) const;
    void UseService(const ServiceInfo& s);

    int ReadServices(std::string description, const std::vector<std::string>& fragments,
                     bool firstOnly, ServiceInfo* fields, std::vector<ServiceInfo>* found);
    // Reads the description at `candidate` and takes it for the gateway when
    // it has a WAN connection service. 0 or -1 (then nothing changed).
    int TryCandidate(const std::string& candidate, const IpAddress& from);
    // Sends the searches as `pace` says and tries each new location heard
    // until one is a gateway (0) or the listening time is over (-1).
    int ListenForGateway(upnp::SsdpSearch& search, upnp::SearchPace& pace,
                         std::vector<std::string>* tried, const SearchFallback* fallback);
    // Fills `ipv6` once the gateway is known: its answer to the IPv6 search,
    // awaited only when the gateway's description offers firewall control.
    void TakeIpv6Answer(upnp::SsdpSearch& search, const DiscoveryTargets& targets);

    ChosenService chosen_;

    // The description at `location`. 0 or -1.
    int GetDescription(std::string* body);
    // Posts a ready envelope for `action` to `controlUrl`.
    int PostAction(const std::string& action, const std::string& envelope, std::string* replyBody);

    FailureReason failure_;
    std::string lastInternalClient_;
    int headerBudgetMs_ = 3000;
    int bodyBudgetMs_ = 3000;
};
