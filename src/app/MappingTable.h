// The router's port-mapping table as people and scripts read it: aligned
// columns for the log, one JSON document for pontaro-cli --list --json.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "upnp/PortMappingEntry.h"

// What one listing found out.
struct MappingListing {
    bool gatewayFound = false;
    std::string gatewayAddress;
    std::string location;
    std::string localAddress;  // this machine, on the interface that reaches the router
    bool tableRead = false;    // the router said where its table ends (or the cap was reached)
    bool capped = false;
    std::vector<PortMappingEntry> entries;  // also those read before a failure
    std::string externalAddress;            // empty when the router did not say
    std::string failureText;                // why the search or the table failed
};

// Columns on a terminal: 2 for East Asian wide and full-width characters, 1
// for every other character. `s` is UTF-8.
int DisplayWidth(std::string_view s);

// A router's text made fit for one line of the log: valid UTF-8, control
// characters as spaces.
std::string OneLineText(std::string_view s);

// A header line and one line per entry (CR LF each); entries whose internal
// client is `localAddress` are marked with "*". Empty for an empty table.
std::string MappingTableText(const std::vector<PortMappingEntry>& entries,
                             const std::string& localAddress);

// The whole listing as one JSON document (LF line ends, a final LF).
std::string MappingListingJson(const MappingListing& listing);
