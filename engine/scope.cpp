#include "engine/scope.h"

#include "engine/display.h"
#include "engine/history.h"

#include <cstring>

int scope_row(std::int16_t sample) {
    const int q = (sample + 32768) / 128; // 0..511
    const int y = (80 * (q + 1)) / 512;   // 0..80
    return y > kPlaneRows - 1 ? kPlaneRows - 1 : y;
}

void draw_scope_trace() {
    unsigned char *planes = display_planes();
    const std::int16_t *history = sample_history();
    if (!planes || !history)
        return;
    unsigned char *plane = planes + kScopePlane * kPlaneBytes;
    std::memset(plane, 0, kPlaneBytes);

    // Each step between neighbouring samples is a vertical run split between their two
    // columns: the start row and the first half in the left column, the rest in the right.
    // Every row written lies between the two sample rows, so nothing leaves the plane.
    const std::int16_t *s = history + kScopeFirstSample;
    for (int x = 0; x < kPlaneWidth - 1; ++x) {
        const int y0 = scope_row(s[x]);
        const int y1 = scope_row(s[x + 1]);
        const int d = y1 > y0 ? 1 : -1;
        const int half = (y1 > y0 ? y1 - y0 : y0 - y1) / 2;
        for (int k = 0; k <= half; ++k)
            plane[(y0 + k * d) * kPlaneWidth + x] = kTraceColour;
        for (int k = half + 1; k <= 2 * half; ++k)
            plane[(y0 + k * d) * kPlaneWidth + x + 1] = kTraceColour;
    }
    const int last = kPlaneWidth - 1;
    plane[scope_row(s[last]) * kPlaneWidth + last] = kTraceColour;
}
