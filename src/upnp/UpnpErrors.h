// The UPnP error codes (from a SOAP fault's errorCode) that the program acts
// on, named once. They stay texts, as the router sent them.
#pragma once

namespace upnp::error {

inline constexpr char kInvalidAction[] = "401";
inline constexpr char kInvalidArgs[] = "402";  // also: a permanent lease refused
inline constexpr char kActionFailed[] = "501";
inline constexpr char kActionNotAuthorized[] = "606";
inline constexpr char kSpecifiedArrayIndexInvalid[] = "713";  // past the table's end
inline constexpr char kNoSuchEntryInArray[] = "714";
inline constexpr char kConflictInMappingEntry[] = "718";  // the port is taken

}  // namespace upnp::error
