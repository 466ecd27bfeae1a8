// Why a step of a run failed, as one line of text for the command line's
// --verbose. The window's log never shows it.
#pragma once

#include <string>

#include "upnp/FailureReason.h"

// "理由: " followed by the step in Japanese, then what the router said (HTTP
// status, UPnP error code and description, as sent) and any further detail.
// No line end; text that is not UTF-8 shows as U+FFFD.
std::string DescribeFailure(const FailureReason& reason);
