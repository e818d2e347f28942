#include "engine/display.h"
#include "engine/frame.h"
#include "engine/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Tables, BandTablesHoldTheKeyBoundaries) {
    build_analysis_tables();
    const std::vector<int> long_expected = {20, 22, 23, 24, 26, 27, 29,  30,  32,  34,  36,
                                            38, 40, 43, 45, 48, 51, 53,  57,  60,  64,  67,
                                            71, 75, 80, 85, 90, 95, 101, 106, 113, 119, 127};
    const std::vector<int> short_expected = {
        32,  34,  36,  38,  40,  43,  45,  48,  51,  53,  57,  60,  64,  67,  71,
        75,  80,  85,  90,  95,  101, 106, 113, 119, 127, 134, 142, 150, 159, 169,
        179, 189, 201, 212, 225, 238, 253, 268, 283, 300, 318, 337, 357, 378, 401,
        424, 450, 476, 505, 535, 566, 600, 636, 674, 714, 756, 801};
    EXPECT_EQ(std::vector<int>(long_band_table(), long_band_table() + kLongBandEntries),
              long_expected);
    EXPECT_EQ(std::vector<int>(short_band_table(), short_band_table() + kShortBandEntries),
              short_expected);

    // Independently: each entry is the first element whose frequency lies above the
    // boundary half a semitone below the key (1.3458 Hz per long, 5.3833 Hz per short
    // element).
    for (int i = 0; i <= 88; ++i) {
        const double hz = 27.5 * std::pow(2.0, (i - 0.5) / 12.0);
        if (i < kLongBandEntries) {
            EXPECT_EQ(long_band_table()[i], static_cast<int>(hz / (22050.0 / 16384)) + 1) << i;
        }
        if (i >= kFirstShortBand) {
            EXPECT_EQ(short_band_table()[i - 32], static_cast<int>(hz / (22050.0 / 4096)) + 1) << i;
        }
    }
}

TEST(Tables, SineWindowIsAQuarterPeriod) {
    build_analysis_tables();
    const double *sine = sine_window();
    EXPECT_EQ(sine[0], 0.0);
    EXPECT_NEAR(sine[2048], 0.7071067811865476, 1e-15);
    EXPECT_NEAR(sine[4095], std::sin(4095 * M_PI / 8192), 1e-15);
    EXPECT_LT(sine[4095], 1.0);
    for (int i = 1; i < kSineWindowEntries; ++i)
        ASSERT_GT(sine[i], sine[i - 1]) << i;

    // The two windows the frame applies: symmetric, zero at both ends, peaking in the middle.
    const double *w = long_window();
    for (int n = 0; n < kLongTransform; ++n)
        ASSERT_EQ(w[n], sine[n < 4096 ? n : 8191 - n]) << n;
    const double *s = short_window();
    for (int n = 0; n < kShortTransform; ++n)
        ASSERT_EQ(s[n], sine[4 * (n < 1024 ? n : 2047 - n)]) << n;
}

// Every view's ranges tile its buffer without gap or overlap.
TEST(Tables, BandRangesTileTheirBuffers) {
    build_analysis_tables();
    struct View {
        unsigned flags;
        int zoom;
        int short_end; // where the last short range ends
        int min_width, max_width;
    };
    for (const View &v : {View{kNoteMode, 1, 801, 1, 45}, View{kNoteMode, 2, 801, 1, 45},
                          View{0, 1, 2048, 23, 24}, View{0, 2, 1024, 11, 12}}) {
        int next_long = 20, next_short = v.flags & kNoteMode ? 32 : 0;
        for (int j = 0; j < kBands; ++j) {
            const BandRange r = band_range(v.flags, v.zoom, j);
            int &next = r.buffer == BandBuffer::Long ? next_long : next_short;
            EXPECT_EQ(r.start, next) << v.flags << " zoom " << v.zoom << " band " << j;
            EXPECT_GE(r.end - r.start, v.min_width) << j;
            EXPECT_LE(r.end - r.start, v.max_width) << j;
            next = r.end;
            EXPECT_EQ(r.buffer == BandBuffer::Long, (v.flags & kNoteMode) && j < 32) << j;
        }
        EXPECT_EQ(next_short, v.short_end);
    }

    const BandRange a4 = band_range(kNoteMode, 1, 48);
    EXPECT_EQ(a4.start, 80);
    EXPECT_EQ(a4.end, 85);
    const BandRange a2 = band_range(kNoteMode, 1, 24);
    EXPECT_EQ(a2.buffer, BandBuffer::Long);
    EXPECT_EQ(a2.start, 80);
    EXPECT_EQ(a2.end, 85);
    EXPECT_EQ(band_range(0, 1, 0).end, 23);
    EXPECT_EQ(band_range(0, 1, 87).start, 2024);
    EXPECT_EQ(band_range(0, 2, 0).end, 11);
    EXPECT_EQ(band_range(0, 2, 87).start, 1012);
    EXPECT_EQ(band_range(0, 0, 87).start, 2024); // a zoom other than 2 counts as 1
}

} // namespace
