#include "engine/display.h"
#include "engine/history.h"
#include "engine/scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Column x of the trace as a string of lit rows, e.g. "10-15".
std::string lit(int x) {
    const unsigned char *plane = display_planes() + kScopePlane * kPlaneBytes;
    int lo = -1, hi = -1;
    for (int r = 0; r < kPlaneRows; ++r) {
        const unsigned char v = plane[r * kPlaneWidth + x];
        EXPECT_TRUE(v == 0 || v == kTraceColour);
        if (v && lo < 0)
            lo = r;
        if (v)
            hi = r;
    }
    for (int r = lo; r <= hi; ++r) // one unbroken run
        EXPECT_EQ(plane[r * kPlaneWidth + x], kTraceColour) << x;
    return std::to_string(lo) + "-" + std::to_string(hi);
}

TEST(Scope, StepsSplitBetweenColumnsAndExtremesStayInside) {
    const std::int16_t edges[] = {-32768, -32001, -32000, -129, -128, 767, 768, 31871, 31872};
    std::vector<int> rows;
    for (std::int16_t s : edges)
        rows.push_back(scope_row(s));
    EXPECT_EQ(rows, (std::vector<int>{0, 0, 1, 39, 40, 40, 41, 78, 79}));

    ASSERT_TRUE(create_display_block());
    ASSERT_TRUE(create_sample_history());
    std::int16_t *h = sample_history();
    auto sample_in = [](int row) { return static_cast<std::int16_t>(row * 819 - 32700); };
    struct Step {
        int from, to;
        const char *left, *right;
    };
    for (const Step &s : {Step{10, 20, "10-15", "16-20"}, Step{20, 10, "15-20", "10-14"},
                          Step{10, 11, "10-10", "11-11"}, Step{10, 13, "10-11", "12-13"}}) {
        for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
            h[i] = sample_in(i <= kScopeFirstSample + 100 ? s.from : s.to);
        ASSERT_EQ(scope_row(sample_in(s.from)) * 100 + scope_row(sample_in(s.to)),
                  s.from * 100 + s.to);
        draw_scope_trace();
        EXPECT_EQ(lit(100), s.left);
        EXPECT_EQ(lit(101), s.right);
        EXPECT_EQ(lit(102), std::to_string(s.to) + "-" + std::to_string(s.to));
    }
    // Full-scale alternation from -32768: even columns rows 0-39, odd ones 40-79.
    for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
        h[i] = (i - kScopeFirstSample) % 2 ? 32767 : -32768;
    draw_scope_trace();
    for (int x = 0; x < kPlaneWidth; ++x)
        ASSERT_EQ(lit(x), x % 2 ? "40-79" : "0-39") << x;
    free_display_block();
    free_sample_history();
}

} // namespace
