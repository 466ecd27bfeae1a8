// Placeholders in a catalog text: {1} to {9}, filled from the arguments in
// their order, so that a language may put them where its grammar wants.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace texts {

// `pattern` with each {n} replaced by the n-th argument (once: an argument's
// own braces are not read). Anything else stays as written: a brace not
// followed by a digit from 1 to 9 and a closing brace, and a placeholder
// with no argument.
std::string FormatText(std::string_view pattern, std::span<const std::string_view> args);

}  // namespace texts
