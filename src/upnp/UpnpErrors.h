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
inline constexpr char kPortMappingNotFound[] = "730";     // none in a listing's range

// The IPv6 firewall control service's own codes; 606 there also means
// that the pinhole's address is not the one the request came from.
inline constexpr char kPinholeSpaceExhausted[] = "701";
inline constexpr char kFirewallDisabled[] = "702";
inline constexpr char kInboundPinholeNotAllowed[] = "703";
inline constexpr char kNoSuchPinhole[] = "704";
inline constexpr char kProtocolNotSupported[] = "705";
inline constexpr char kInternalPortWildcardingNotAllowed[] = "706";
inline constexpr char kProtocolWildcardingNotAllowed[] = "707";
inline constexpr char kWildCardNotPermittedInSrcIP[] = "708";
inline constexpr char kNoTrafficReceived[] = "709";

}  // namespace upnp::error
