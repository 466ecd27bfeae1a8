// pontaro-cli --json of a run that opens ports: what happened to each rule
// and what this machine's side showed behind it, as one JSON document (the
// field names as in MappingListingJson).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/SessionEvents.h"

// What one open run did, gathered from its events.
class OpenRunRecord {
public:
    void operator()(const session::Event& event);
    // The whole document (LF line ends, a final LF).
    std::string Json() const;

    struct Side {  // the IPv4 mapping's, or the pinhole's
        bool opened = false;
        std::string error;
        std::optional<session::ListenerChecked> checked;
    };
    struct Rule {
        PortMappingRule rule;
        int openedPort = 0;
        Side mapping;
        bool pinholeTried = false;
        std::string pinholeAddress;
        Side pinhole;
    };

private:
    bool gatewayFound_ = false;
    std::string gatewayProtocol_, gatewayAddress_, location_;
    std::vector<Rule> rules_;
    std::optional<std::uint32_t> lifetime_;
    std::string externalAddress_, failureText_;
};
