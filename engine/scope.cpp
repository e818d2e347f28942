#include "engine/scope.h"

#include "engine/display.h"
#include "engine/history.h"

#include <cstring>

int scope_row(std::int16_t sample) {
    // The offset sample is never negative, so the divisions are plain shifts.
    const unsigned q = static_cast<unsigned>(sample + 32768) >> 7; // 0..511
    const unsigned y = (80 * (q + 1)) >> 9;                        // 0..80
    return y > kPlaneRows - 1 ? kPlaneRows - 1 : static_cast<int>(y);
}

void draw_scope_trace() {
    unsigned char *planes = display_planes();
    const std::int16_t *history = sample_history();
    if (!planes || !history)
        return;
    unsigned char *plane = planes + kScopePlane * kPlaneBytes;
    std::memset(plane, 0, kPlaneBytes);

    int rows[kPlaneWidth];
    for (int x = 0; x < kPlaneWidth; ++x)
        rows[x] = scope_row(history[kScopeFirstSample + x]);

    // Each step between neighbouring samples is a vertical run split between their two
    // columns: the start row and the first half in the left column, the rest in the right.
    // Every row written lies between the two sample rows, so nothing leaves the plane.
    for (int x = 0; x < kPlaneWidth - 1; ++x) {
        const int y0 = rows[x];
        const int y1 = rows[x + 1];
        const int step = y1 > y0 ? kPlaneWidth : -kPlaneWidth;
        const int half = (y1 > y0 ? y1 - y0 : y0 - y1) / 2;
        unsigned char *p = plane + y0 * kPlaneWidth + x;
        for (int k = 0; k <= half; ++k, p += step)
            *p = kTraceColour;
        for (int k = 0; k < half; ++k, p += step)
            p[1] = kTraceColour;
    }
    const int last = kPlaneWidth - 1;
    plane[rows[last] * kPlaneWidth + last] = kTraceColour;
}
