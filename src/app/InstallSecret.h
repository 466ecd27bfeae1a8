// The per-installation secret PCP nonces are derived from (pcp::DeriveNonce):
// kept in the profile so that a later process (a restart, `--close`) names
// the same mappings, and made once from the system's random source.
#pragma once

#include <string>

#include "app/Profile.h"

namespace settings {
inline constexpr char kPcpSecret[] = "PcpSecret";
}  // namespace settings

// The profile's secret; a new one, saved, when it has none. A profile that
// cannot be written still gives a secret (for this process only: its
// mappings then cannot be renewed or closed by another process). Empty only
// when the random source failed too.
std::string InstallSecret(Profile& profile);
