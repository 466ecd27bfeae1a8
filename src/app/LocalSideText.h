// The log's lines for what a run found on this machine's side of an opened
// rule (ListenerChecked). Every message carries its own CR LF line ends.
#pragma once

#include <string>

#include "app/SessionEvents.h"

namespace activity_log {

// The notes under the rule: nothing usable listens (nobody, only loopback,
// only another address), or the firewall would drop what comes. Empty when
// a program listens and nothing stands in its way, or nothing is known.
std::string LocalSideText(const session::ListenerChecked& e);

// For those who ask (pontaro-cli --verbose): who listens, when one does
// ("  待ち受け: nginx (PID 1234)\r\n"); empty otherwise.
std::string ListenerRecordText(const session::ListenerChecked& e);

}  // namespace activity_log
