// URL references as RFC 3986 resolves them. The control URL of a gateway is a
// reference taken from its description, relative to URLBase or, when the
// description has none, to the description's own location.
#pragma once

#include <string>

namespace upnp {

// Resolves `reference` against the absolute URL `base` (RFC 3986 section 5.2,
// dot segments removed). An empty reference yields the base without its
// fragment.
std::string ResolveUrlReference(const std::string& base, const std::string& reference);

// The URL the SOAP request goes to: `controlUrl` resolved against `urlBase`
// when that is not empty, else against `location`.
std::string ControlUrl(const std::string& urlBase, const std::string& location,
                       const std::string& controlUrl);

}  // namespace upnp
