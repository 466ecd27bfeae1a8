#include "net/IpAddress.h"

#include "platform/Socket.h"

std::string IpAddress::ToText() const { return platform::FormatIPv4(value_); }
