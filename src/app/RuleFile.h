// A rule file (pontaro-cli -f, the service's /etc/pontaro/rules): the
// rules as the window's box holds them, and beside them comments and blank
// lines, which the box would stop at.
#pragma once

#include <string>
#include <string_view>

// The rule text of a file (CR LF lines): lines that are blank or whose first
// non-blank character is '#' are left out, every other line kept as it is.
std::string RuleFileText(std::string_view crlfText);
