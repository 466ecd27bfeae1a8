// The check boxes of the main window and the version box's notice, fitted to
// texts longer than the Japanese ones the layout was written for.
#include "app/RowFit.h"

#include <gtest/gtest.h>

using row_fit::Span;

TEST(RowFit, WidensToTheTextAndPushesTheRestWithinTheRow) {
    // The main window's two check boxes at 96 dpi (7,59 and 81,66 dialog
    // units: 11,89 and 122,99 pixels), the "Open" button at 308.
    const std::vector<Span> boxes{{11, 89}, {122, 99}};
    const struct {
        const char* what;
        std::vector<Span> laidOut;
        std::vector<int> needed;
        int limit;
        std::vector<Span> fitted;
    } rows[] = {
        {"Japanese: both fit, nothing moves", boxes, {80, 92}, 302, boxes},
        {"no needs given: as laid out", boxes, {}, 302, boxes},
        {"English: the first grows, the second follows",
         boxes,
         {128, 150},
         302,
         {{11, 128}, {145, 150}}},
        {"the first grows into the gap only", boxes, {100, 90}, 302, {{11, 100}, {122, 99}}},
        {"the last stops at the edge", boxes, {128, 200}, 302, {{11, 128}, {145, 157}}},
        {"pushed against the edge, the last keeps its width and the first gives way",
         boxes,
         {200, 120},
         302,
         {{11, 186}, {203, 99}}},
        {"an edge inside the last box: it stays, the first grows into the gap only",
         boxes,
         {300, 300},
         200,
         {{11, 105}, {122, 99}}},
        {"one control: the version box's notice up to the OK button",
         {{60, 179}},
         {236},
         261,
         {{60, 201}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row_fit::Fit(row.laidOut, row.needed, 6, row.limit), row.fitted);
    }
}
