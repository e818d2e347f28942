#pragma once

// What every engine test starts from, and the plane readers they share.

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/scope.h"
#include "engine/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using Row = std::vector<unsigned char>;

// Every test starts from freshly built tables, a new, zeroed display block and history, and
// the view state of a new window (note and scope mode, no bass zoom, no bars drawn yet).
struct EngineTest : ::testing::Test {
    void SetUp() override {
        free_display_block(), free_sample_history(), build_analysis_tables();
        set_view_flags(kNoteMode | kScopeMode), set_bass_zoom(1);
        ASSERT_TRUE(create_display_block());
        ASSERT_TRUE(create_sample_history());
        clear_spectrum_plane();
    }
};

inline unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
inline int rgb(Rgb c) { return c.red << 16 | c.green << 8 | c.blue; }

// The height by its definition, for comparison with the table-driven one.
inline int height_by_definition(double level) {
    return level > 0 ? std::clamp(static_cast<int>(16 * std::log10(level * level)), 0, 80) : 0;
}

// The rows of column x that the scope trace lights, lowest and highest; {-1, -1} when they
// are not one run in the trace colour.
inline std::pair<int, int> trace_run(int x) {
    int low = -1, high = -1;
    for (int r = 0; r < kPlaneRows; ++r) {
        const unsigned char p = plane(1)[r * kPlaneWidth + x];
        if (p != 0 && (p != kTraceColour || (high >= 0 && high != r - 1)))
            return {-1, -1};
        if (p != 0)
            low = low < 0 ? r : low, high = r;
    }
    return {low, high};
}
