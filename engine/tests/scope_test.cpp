#include "engine_test.h"

#include <string>

namespace {

struct Scope : EngineTest {};

// Rows by the sample's edges, then a step between columns 100 and 101, which splits its run
// between them.
TEST_F(Scope, RowsAndStepsSplitBetweenNeighbouringColumns) {
    const std::pair<int, int> rows[] = {{-32768, 0}, {-32001, 0}, {-32000, 1}, {-129, 39},
                                        {-128, 40},  {767, 40},   {768, 41},   {31871, 78},
                                        {31872, 79}, {32767, 79}}; // sample, row
    for (const auto &[sample, row] : rows)
        EXPECT_EQ(scope_row(static_cast<std::int16_t>(sample)), row) << sample;
    struct Step {
        int from, to, left_low, left_high, right_low, right_high; // lit rows of columns 100, 101
    };
    const Step steps[] = {{10, 20, 10, 15, 16, 20},
                          {20, 10, 15, 20, 10, 14},
                          {10, 11, 10, 10, 11, 11},
                          {10, 13, 10, 11, 12, 13}};
    for (const Step &s : steps) {
        for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
            sample_history()[i] = (i <= kScopeFirstSample + 100 ? s.from : s.to) * 819 - 32700;
        draw_scope_trace();
        SCOPED_TRACE(std::to_string(s.from) + " to " + std::to_string(s.to));
        EXPECT_EQ(trace_run(100), std::make_pair(s.left_low, s.left_high));
        EXPECT_EQ(trace_run(101), std::make_pair(s.right_low, s.right_high));
        EXPECT_EQ(trace_run(102), std::make_pair(s.to, s.to));
    }
}

} // namespace
