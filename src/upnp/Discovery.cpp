// The search for the gateway: the searches go out as SearchPace says, and
// every answer with a new location is tried until one describes a WAN
// connection service.

#include <algorithm>

#include "net/StartWinsock.h"
#include "platform/Clock.h"
#include "upnp/RouterDevice.h"
#include "upnp/SsdpAnswer.h"
#include "upnp/SsdpSearch.h"

namespace {

// Devices whose descriptions are read before the search gives up; a network
// holds a handful of UPnP devices, a flood of invented locations is cut here.
constexpr std::size_t kMaxCandidates = 16;
// Answers still read once the listening time is over: those that came in
// while a candidate was being read.
constexpr int kMaxLateAnswers = 64;

FailureReason NoGatewayFailure(const std::vector<std::string>& tried) {
    FailureReason failure;
    if (tried.empty()) {
        failure.step = FailureReason::Step::kNoAnswer;
        return failure;
    }
    failure.step = FailureReason::Step::kNoGateway;
    for (const std::string& t : tried) {
        failure.detail += (failure.detail.empty() ? "" : ", ") + t;
    }
    return failure;
}

void SendDueSearch(upnp::SsdpSearch& search, upnp::SearchPace::Due due) {
    // A later search that fails (the link went away meanwhile) only loses
    // that chance; the listening goes on.
    FailureReason lost;
    if (due == upnp::SearchPace::Due::kFirst) {
        search.SendFirst(&lost);
    } else if (due == upnp::SearchPace::Due::kFurther) {
        search.SendFurther(&lost);
    }
}

}  // namespace

DiscoveryTargets::DiscoveryTargets() {
    platform::ParseIPv4("239.255.255.250", &multicastAddress);
}

int CRouterDevice::Discover(IpAddress& addr, std::string& loc, const DiscoveryTargets& targets,
                            const SearchFallback* fallback) {
    failure_.Clear();
    // If the library cannot be started, creating the socket fails below.
    StartWinsock();
    upnp::SsdpSearch search(targets);
    if (!search.Open(&failure_) || !search.SendFirst(&failure_)) {
        return -1;
    }
    upnp::SearchPace pace(targets);
    std::vector<std::string> tried;
    const int result = ListenForGateway(search, pace, &tried, fallback);
    localIpv6 = search.LocalIpv6();
    if (result == 0) {
        addr = address;
        loc = location;
        failure_.Clear();
        TakeIpv6Answer(search, targets);
    } else if (failure_.step == FailureReason::Step::kNone) {
        failure_ = NoGatewayFailure(tried);
    }
    return result;
}

int CRouterDevice::ListenForGateway(upnp::SsdpSearch& search, upnp::SearchPace& pace,
                                    std::vector<std::string>* tried,
                                    const SearchFallback* fallback) {
    // The one clock of the search: listening, resends, the further searches
    // and the fallback's grace are all counted from the first search.
    const std::uint32_t start = platform::TickCount();
    platform::SocketHandle watched =
        fallback != nullptr && fallback->settled ? fallback->socket : platform::kInvalidSocket;
    int lateAnswers = 0;
    for (;;) {
        const std::uint32_t elapsed = platform::ElapsedSince(start);
        if (pace.Over(elapsed) && ++lateAnswers > kMaxLateAnswers) {
            return -1;
        }
        SendDueSearch(search, pace.Take(elapsed));
        bool fallbackReadable = false;
        const int ready = search.Wait(pace.WaitMs(elapsed), watched, &fallbackReadable);
        if (ready < 0) {
            failure_.step = FailureReason::Step::kNoAnswer;
            failure_.detail = "waiting for answers failed";
            return -1;
        }
        if (fallbackReadable && fallback->settled()) {
            watched = platform::kInvalidSocket;
            pace.FallbackSettled(platform::ElapsedSince(start));
        }
        if (ready == 0) {
            if (pace.Over(elapsed)) {
                return -1;
            }
            continue;
        }
        std::string candidate;
        std::uint32_t from = 0;
        const int answer = search.ReceiveLocation(&candidate, &from, &failure_);
        if (answer < 0) {
            return -1;
        }
        if (answer == 0 || tried->size() >= kMaxCandidates ||
            std::find(tried->begin(), tried->end(), candidate) != tried->end()) {
            continue;
        }
        tried->push_back(candidate);
        if (TryCandidate(candidate, IpAddress(from)) == 0) {
            return 0;
        }
    }
}

int CRouterDevice::TryCandidate(const std::string& candidate, const IpAddress& from) {
    // Requests go to the address an answer came from (HttpRequest).
    if (!upnp::IsDeviceAddress(from.Value())) {
        if (onPassedOver) {
            FailureReason why;
            why.step = FailureReason::Step::kNoGateway;
            why.detail = "answer from " + from.ToText() + ", which no device can have";
            onPassedOver(candidate, why);
        }
        return -1;
    }
    CRouterDevice device;
    device.location = candidate;
    device.address = from;
    device.SetHttpBudgets(headerBudgetMs_, bodyBudgetMs_);
    if (device.ReadService() != 0) {
        if (onPassedOver) {
            onPassedOver(candidate, device.LastFailure());
        }
        return -1;
    }
    location = device.location;
    address = device.address;
    offersIpv6Firewall = device.offersIpv6Firewall;
    udn = device.udn;
    service = device.service;
    controlUrl = device.controlUrl;
    chosen_ = device.chosen_;
    return 0;
}

void CRouterDevice::TakeIpv6Answer(upnp::SsdpSearch& search, const DiscoveryTargets& targets) {
    using State = Ipv6Gateway::State;
    ipv6 = Ipv6Gateway();
    if (!targets.searchIpv6) {
        return;
    }
    search.OpenIpv6();
    if (!search.Ipv6Source()) {
        ipv6.state = State::kNoStableAddress;
        return;
    }
    ipv6.source = search.Ipv6Source()->address;
    // Only a gateway that offers firewall control is waited for: for all
    // others the run goes on at once, as without IPv6.
    if (!offersIpv6Firewall) {
        ipv6.state = State::kNoService;
        return;
    }
    search.SendIpv6();
    ipv6.state = search.AwaitIpv6Answer(targets.ipv6AnswerMs, &ipv6.location, &ipv6.router)
                     ? State::kFound
                     : State::kNoAnswer;
}
