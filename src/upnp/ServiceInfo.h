#pragma once

#include <string>

// The texts read from a device description for the chosen service.
struct ServiceInfo {
    std::string URLBase;
    std::string serviceType;
    std::string serviceId;
    std::string SCPDURL;
    std::string controlURL;
    std::string eventSubURL;
};
