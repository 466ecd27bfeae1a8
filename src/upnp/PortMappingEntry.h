#pragma once

#include <string>

// One mapping in a router's table, as the router reports it.
struct PortMappingEntry {
    std::string internalClient;  // the address the port is forwarded to
    int internalPort = -1;       // -1 when the router's text is no port number
    std::string description;
};
