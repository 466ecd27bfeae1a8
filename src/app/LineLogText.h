// The log's lines about the kind of line (MAP-E, DS-Lite) and the ports it
// cannot carry.
#pragma once

#include <string>

#include "app/SessionEvents.h"
#include "line/Line.h"

namespace activity_log {

// "v6プラス", "IPv6オプション", "OCNバーチャルコネクト"
std::string ServiceName(line::Service service);

// Once a run: the kind of line, its shared IPv4 address and how many ports
// it has; a listing adds every usable block.
std::string LineText(const session::LineFound& e);

// "理由: " and why the line cannot carry `u.port`, with the usable blocks
// nearest to it; `rulePort` tells whether the router chose that port. No
// line end.
std::string OutsideSetReason(const line::UnusablePort& u, long rulePort);

// For those who ask (pontaro-cli --verbose): the line's PSID and its place,
// or why a rule that matched claims nothing. Empty for a DS-Lite line.
std::string LineRecordText(const session::LineFound& e);
std::string LineNotConfirmedText(const session::LineNotConfirmed& e);
// For a rule outside the set: whether it was sent, and the PSID it missed.
std::string OutsideSetRecordText(const line::UnusablePort& u, long rulePort);

}  // namespace activity_log
