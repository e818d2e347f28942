#include "engine/display.h"
#include "engine/history.h"
#include "engine/scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

TEST(ScopeRow, RowsCoverTheSampleRangeUnevenly) {
    const int edges[][2] = {{-32768, 0}, {-32001, 0}, {-32000, 1}, {-31233, 1}, {-31232, 2},
                            {-896, 39},  {-129, 39},  {-128, 40},  {0, 40},     {767, 40},
                            {768, 41},   {31871, 78}, {31872, 79}, {32639, 79}, {32767, 79}};
    for (const auto &e : edges)
        EXPECT_EQ(scope_row(static_cast<std::int16_t>(e[0])), e[1]) << e[0];

    // Rows never go backwards, and each takes 768 or 896 sample values.
    int count[kPlaneRows] = {};
    int previous = 0;
    for (int s = -32768; s <= 32767; ++s) {
        const int row = scope_row(static_cast<std::int16_t>(s));
        ASSERT_GE(row, previous);
        ASSERT_LT(row, kPlaneRows);
        previous = row;
        ++count[row];
    }
    int narrow = 0, wide = 0;
    for (int c : count) {
        narrow += c == 768;
        wide += c == 896;
    }
    EXPECT_EQ(narrow, 48);
    EXPECT_EQ(wide, 32);
}

class Scope : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(create_display_block());
        ASSERT_TRUE(create_sample_history());
        std::memset(sample_history(), 0, kHistorySamples * sizeof(std::int16_t));
        std::memset(display_planes(), 0, 3 * kPlaneBytes);
    }
    void TearDown() override {
        free_display_block();
        free_sample_history();
    }

    // A sample value that lands in row r.
    static std::int16_t sample_in_row(int r) {
        for (int s = -32768;; s += 64)
            if (scope_row(static_cast<std::int16_t>(s)) == r)
                return static_cast<std::int16_t>(s);
    }
    // Columns 0..x show row `from`, the rest row `to`.
    static void step_at(int x, int from, int to) {
        std::int16_t *h = sample_history();
        for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
            h[i] = sample_in_row(i <= kScopeFirstSample + x ? from : to);
    }
    static std::set<int> lit_rows(int x) {
        const unsigned char *plane = display_planes() + kScopePlane * kPlaneBytes;
        std::set<int> rows;
        for (int r = 0; r < kPlaneRows; ++r) {
            if (plane[r * kPlaneWidth + x] == kTraceColour)
                rows.insert(r);
            else
                EXPECT_EQ(plane[r * kPlaneWidth + x], 0);
        }
        return rows;
    }
    static std::set<int> span(int a, int b) {
        std::set<int> rows;
        for (int r = std::min(a, b); r <= std::max(a, b); ++r)
            rows.insert(r);
        return rows;
    }
};

TEST_F(Scope, SilenceIsOneLineAcrossTheMiddle) {
    std::memset(display_planes() + kScopePlane * kPlaneBytes, 9, kPlaneBytes); // old trace
    draw_scope_trace();
    for (int x = 0; x < kPlaneWidth; ++x)
        ASSERT_EQ(lit_rows(x), std::set<int>{40}) << x;
}

TEST_F(Scope, StepsAreSplitBetweenNeighbouringColumns) {
    struct Step {
        int from, to;
        std::set<int> left, right;
    };
    const Step steps[] = {
        {10, 20, span(10, 15), span(16, 20)},
        {20, 10, span(15, 20), span(10, 14)},
        {10, 11, {10}, {11}},
        {10, 13, {10, 11}, {12, 13}},
    };
    for (const Step &s : steps) {
        step_at(100, s.from, s.to);
        draw_scope_trace();
        EXPECT_EQ(lit_rows(99), std::set<int>{s.from}) << s.from << "->" << s.to;
        EXPECT_EQ(lit_rows(100), s.left) << s.from << "->" << s.to;
        EXPECT_EQ(lit_rows(101), s.right) << s.from << "->" << s.to;
        EXPECT_EQ(lit_rows(102), std::set<int>{s.to}) << s.from << "->" << s.to;
    }
}

TEST_F(Scope, ExtremeAlternationStaysInsideThePlane) {
    std::int16_t *h = sample_history();
    for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
        h[i] = (i - kScopeFirstSample) % 2 ? 32767 : -32768;
    h[8191] = 0; // the newest sample is not drawn
    draw_scope_trace();
    for (int x = 0; x < kPlaneWidth; ++x)
        ASSERT_EQ(lit_rows(x), x % 2 ? span(40, 79) : span(0, 39)) << x;
    // Nothing spilled into the spectrogram plane behind it.
    const unsigned char *next = display_planes() + kSpectrogramPlane * kPlaneBytes;
    for (int i = 0; i < kPlaneBytes; ++i)
        ASSERT_EQ(next[i], 0);
}

} // namespace
