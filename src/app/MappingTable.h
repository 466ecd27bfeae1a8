// The router's port-mapping table as people and scripts read it: aligned
// columns for the log, one JSON document for pontaro-cli --list --json.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "line/Line.h"

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
    std::vector<bool> madeByPontaro;        // beside each entry, when its record says so
    std::string externalAddress;            // empty when the router did not say
    std::string failureText;                // why the search or the table failed
    std::optional<line::Line> line;         // the kind of line, when the run found it out
};

// Columns on a terminal: 2 for East Asian wide and full-width characters, 1
// for every other character. `s` is UTF-8.
int DisplayWidth(std::string_view s);

// A router's text made fit for one line of the log: valid UTF-8 (code page
// 932 converted, text::Utf8FromRouter), control characters as spaces.
std::string OneLineText(std::string_view s);

// A header line and one line per entry (CR LF each); entries whose internal
// client is `localAddress` are marked with "*", those `madeByPontaro` says
// Pontaro made with "Pontaro" beside it. Empty for an empty table.
std::string MappingTableText(const std::vector<PortMappingEntry>& entries,
                             const std::string& localAddress,
                             const std::vector<bool>& madeByPontaro = {});

// JSON pieces: a string (made valid UTF-8, escaped), and the same or null
// for an empty text.
std::string JsonString(std::string_view raw);
std::string JsonStringOrNull(const std::string& s);

// The whole listing as one JSON document (LF line ends, a final LF).
std::string MappingListingJson(const MappingListing& listing);
