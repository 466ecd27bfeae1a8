// The controls of one row of a window, fitted to their texts: the layout is
// written for the Japanese texts, and an English text may need more room.
// Each control keeps its place and width where its text fits, so a window
// whose texts fit looks exactly as laid out.
#pragma once

#include <vector>

namespace row_fit {

struct Span {
    int x = 0;
    int width = 0;
    bool operator==(const Span&) const = default;
};

// `laidOut` left to right, `needed` the width each one's text takes (both
// in pixels). A control grows to its need and pushes the ones after it to
// the right, `gap` after the one before. Growing stops at `limit`, the row's
// right edge, where the last control keeps at least its laid-out width; an
// earlier one gives back what the next needs, down to its laid-out width.
// No control moves left or shrinks below its laid-out width. Missing needs
// count as fitting.
std::vector<Span> Fit(const std::vector<Span>& laidOut, const std::vector<int>& needed, int gap,
                      int limit);

}  // namespace row_fit
