#pragma once

#include <string>

// Why the last operation of a gateway object failed. The window never shows
// it; the command line's --verbose does.
struct FailureReason {
    enum class Step {
        kNone,
        kBind,         // discovery: no UDP port could be bound
        kSend,         // discovery: a search datagram could not be sent
        kNoAnswer,     // discovery: no acceptable answer in time
        kNoGateway,    // discovery: answers came, none from a usable gateway
        kUrl,          // a URL could not be split
        kConnect,      // no connection to the gateway
        kRequestSend,  // the request could not be sent
        kHeaderWait,   // the reply's header block did not arrive (or was too large)
        kStatus,       // the status was not 200
        kBody,         // the body did not arrive in time
        kDescription,  // the description could not be read
        kNoService,    // no WAN connection service in the description
    };
    Step step = Step::kNone;
    int httpStatus = 0;          // 0 when no status line was read
    std::string httpStatusText;  // the status line's reason phrase, as sent
    std::string upnpErrorCode;   // from a SOAP fault, as sent
    std::string upnpErrorDescription;
    std::string detail;  // anything else worth saying (a socket's error text)

    void Clear() { *this = FailureReason(); }
};
