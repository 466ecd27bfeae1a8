#include "app/RowFit.h"

#include <algorithm>

namespace row_fit {

std::vector<Span> Fit(const std::vector<Span>& laidOut, const std::vector<int>& needed, int gap,
                      int limit) {
    std::vector<Span> fitted(laidOut);
    for (std::size_t i = 0; i < fitted.size(); ++i) {
        const Span& laid = laidOut[i];
        Span& span = fitted[i];
        if (i > 0) {
            const int pushed = fitted[i - 1].x + fitted[i - 1].width + gap;
            span.x = std::max(laid.x, std::min(pushed, limit - laid.width));
        }
        const int need = i < needed.size() ? needed[i] : 0;
        span.width = std::max(laid.width, std::min(need, limit - span.x));
    }
    // A control pinned against the limit may now start inside the one before.
    for (std::size_t i = fitted.size(); i-- > 1;) {
        Span& before = fitted[i - 1];
        const int room = fitted[i].x - gap - before.x;
        before.width = std::max(laidOut[i - 1].width, std::min(before.width, room));
    }
    return fitted;
}

}  // namespace row_fit
