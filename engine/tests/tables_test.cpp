#include "engine/frame.h"
#include "engine/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Tables, BandBoundariesWindowAndLinearRanges) {
    build_analysis_tables();
    EXPECT_EQ(
        std::vector<int>(long_band_table(), long_band_table() + kLongBandEntries),
        (std::vector<int>{20, 22, 23, 24, 26, 27, 29, 30, 32, 34, 36, 38,  40,  43,  45,  48, 51,
                          53, 57, 60, 64, 67, 71, 75, 80, 85, 90, 95, 101, 106, 113, 119, 127}));
    EXPECT_EQ(
        std::vector<int>(short_band_table(), short_band_table() + kShortBandEntries),
        (std::vector<int>{32,  34,  36,  38,  40,  43,  45,  48,  51,  53,  57,  60,  64,  67,  71,
                          75,  80,  85,  90,  95,  101, 106, 113, 119, 127, 134, 142, 150, 159, 169,
                          179, 189, 201, 212, 225, 238, 253, 268, 283, 300, 318, 337, 357, 378, 401,
                          424, 450, 476, 505, 535, 566, 600, 636, 674, 714, 756, 801}));
    EXPECT_EQ(sine_window()[0], 0.0);
    EXPECT_NEAR(sine_window()[2048], std::sqrt(0.5), 1e-15);

    // Linear ranges tile 0..2048 (zoom 1) or 0..1024 (zoom 2) in slices of 23-24 or 11-12.
    for (int zoom : {1, 2}) {
        int next = 0;
        for (int j = 0; j < kBands; ++j) {
            const BandRange r = band_range(0, zoom, j);
            EXPECT_EQ(r.start, next);
            EXPECT_GE(r.end - r.start, 23 / zoom);
            EXPECT_LE(r.end - r.start, 24 / zoom);
            next = r.end;
        }
        EXPECT_EQ(next, 2048 / zoom);
    }
}

} // namespace
