// The port-mapping table in one answer: GetListOfPortMappings of
// WANIPConnection:2, whose NewPortListing argument carries a PortMappingList
// document, in CDATA (miniupnpd) or escaped. A router scans its whole
// ruleset for every GetGenericPortMappingEntry (miniupnpd: 0.2-0.3 s each),
// so a table of a hundred takes one answer instead of a hundred.
#pragma once

#include <string_view>
#include <vector>

#include "upnp/PortMappingEntry.h"

namespace upnp {

// Whether a service of this type offers GetListOfPortMappings:
// WANIPConnection of version 2 or later, whatever the URN's domain.
bool OffersPortListing(std::string_view serviceType);

// The entries of the PortMappingList in an answer body, in document order,
// each field trimmed and decoded, read as tolerantly as any answer (a bare
// "&" in a description is text). False, `entries` unchanged, when the body
// holds no such document read to its end: not XML, no NewPortListing, no
// PortMappingList, or a document cut short.
bool ReadPortListing(std::string_view answerBody, std::vector<PortMappingEntry>* entries);

}  // namespace upnp
