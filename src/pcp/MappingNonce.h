// The nonce of a PCP mapping, made from values that stay the same between
// processes, so that a later run (or `--close`) can renew and delete the
// mapping an earlier one made without keeping the nonce anywhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "pcp/MappingTypes.h"

namespace pcp {

// The same inputs give the same twelve bytes on every platform and build.
// `secret` is per installation (kept by the caller, in the profile say): it
// keeps other hosts and programs from producing this machine's nonces.
Nonce DeriveNonce(std::uint32_t clientAddress, Transport transport, std::uint16_t internalPort,
                  std::string_view secret);

}  // namespace pcp
