// The windows' texts as the zero-ended strings their APIs take.
#pragma once

#include <cstdint>

namespace texts {

// The names, declared here without their list (app/texts/Catalog.h): Qt's
// moc, which reads the windows' headers, cannot read the generated list.
enum class Msg : std::uint16_t;

// `msg` in the current language (in Japanese where that language lacks it),
// zero-ended and valid for the program's life: the tables hold literals.
const char* CText(Msg msg);

}  // namespace texts
