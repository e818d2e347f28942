#include "engine_test.h"

#include "engine/levels.h"
#include <random>

namespace {

struct Frame : EngineTest {};

// The long table's band boundaries, then the short table's; bar heights and spectrogram
// colours by level.
TEST_F(Frame, BandBoundariesHeightsAndColours) {
    const std::vector<int> bounds = {
        20,  22,  23,  24,  26,  27,  29,  30,  32,  34,  36,  38,  40,  43,  45,  48,  51,  53,
        57,  60,  64,  67,  71,  75,  80,  85,  90,  95,  101, 106, 113, 119, 127, 32,  34,  36,
        38,  40,  43,  45,  48,  51,  53,  57,  60,  64,  67,  71,  75,  80,  85,  90,  95,  101,
        106, 113, 119, 127, 134, 142, 150, 159, 169, 179, 189, 201, 212, 225, 238, 253, 268, 283,
        300, 318, 337, 357, 378, 401, 424, 450, 476, 505, 535, 566, 600, 636, 674, 714, 756, 801};
    std::vector<int> tables(long_band_table(), long_band_table() + 33);
    tables.insert(tables.end(), short_band_table(), short_band_table() + 57);
    EXPECT_EQ(tables, bounds);
    struct Case {
        double level;
        int height, colour;
    };
    const Case cases[] = {{0, 0, 16},    {0.5, 0, 16},   {1.0746, 0, 16}, {1.0747, 1, 16},
                          {1.25, 3, 17}, {2, 9, 20},     {20, 41, 40},    {316, 79, 62},
                          {317, 80, 63}, {1000, 80, 63}, {1e-200, 0, 16}, {INFINITY, 80, 63}};
    for (const Case &c : cases) {
        EXPECT_EQ(bar_height(c.level), c.height) << c.level;
        EXPECT_EQ(spectrogram_colour(c.height), c.colour) << c.height;
    }
}

// A square level at or within a few units in the last place of a step (10^(k/16)) still
// gets the truncated logarithm's height, where the steps alone would often say one less.
TEST_F(Frame, BarHeightAtEveryStepIsTheTruncatedLogarithm) {
    for (int k = 0; k <= 80; ++k) {
        double level = std::nextafter(std::nextafter(std::pow(10.0, k / 32.0), 0.0), 0.0);
        for (int ulp = -2; ulp <= 2; ++ulp, level = std::nextafter(level, INFINITY))
            EXPECT_EQ(bar_height(level), height_by_definition(level)) << k << " " << ulp;
    }
}

// Silence, notes, noise, full-scale and degenerate histories through every view and zoom,
// each view change clearing the bars, against a direct sum: window, sine transform by its
// formula, band peaks with their scale factors (the two lowest coefficients left out),
// heights, every bar cell and the new spectrogram row, the older rows moved up one. Nothing
// outside the planes is written.
TEST_F(Frame, MatchesADirectSineTransformInEveryView) {
    Row row(kPlaneWidth), head(display_block(), display_planes());
    auto dst = [&](int n, int count) { // of the newest n samples, windowed
        std::vector<double> sine(4 * n), c(count);
        for (int i = 0; i < 4 * n; ++i)
            sine[i] = std::sin(M_PI * i / (2 * n));
        for (int k = 0; k < count; ++k)
            for (int m = 0; m < n; ++m)
                c[k] += sample_history()[kHistorySamples - n + m] / 32768.0 *
                        sine[2 * std::min(m, n - 1 - m)] * sine[(2 * m + 1) * k % (4 * n)];
        return c;
    };
    std::mt19937 random(5);
    for (int kind = 0; kind < 7; ++kind) { // silence, 440 Hz, 110 Hz, noise, Nyquist, DC, clicks
        for (int i = 0; i < kHistorySamples; ++i) {
            const double tone = 3000 * std::sin((kind == 1 ? 440 : 110) * 2 * M_PI / 22050 * i),
                         noise = random() % 65536 - 32768.0, nyquist = i % 2 * 65535 - 32768.0;
            const double v[] = {0, tone, tone, noise, nyquist, -32768, i % 1024 ? 0 : 32767.0};
            sample_history()[i] = static_cast<std::int16_t>(v[kind]);
        }
        const std::vector<double> sums[] = {dst(kLongTransform, 128), dst(kShortTransform, 2048)};
        for (int view = 0; view < 8; ++view) { // flags in bits 0 and 1, zoom 1 or 2 in bit 2
            set_bass_zoom(view / 4 + 1);
            clear_spectrum_plane();
            render_frame(view % 4);
            ASSERT_EQ(Row(plane(2) + 78 * kPlaneWidth, plane(2) + 79 * kPlaneWidth), row);
            Row bars(kPlaneBytes, 0);
            for (int j = 0; j < kBands; ++j) {
                const bool note = view % 2, lng = note && j < 32; // linear: 2048 j div 88 div zoom
                const int *t = lng ? long_band_table() + j : short_band_table() + j - 32;
                double peak = 0;
                for (int k = std::max(note ? t[0] : 2048 * j / 88 / (view / 4 + 1), 2);
                     k < (note ? t[1] : 2048 * (j + 1) / 88 / (view / 4 + 1)); ++k)
                    peak = std::max(peak, std::fabs(sums[!lng][k]));
                const int h = height_by_definition(peak / (lng ? 4 : 1));
                for (int y = 0; y < h; ++y)
                    std::fill_n(&bars[y * kPlaneWidth + 4 * j], 3, 32 + 2 * y / 5);
                std::fill_n(&row[4 * j], 3, spectrogram_colour(h));
            }
            ASSERT_EQ(Row(plane(0), plane(1)), bars) << kind << " " << view;
            ASSERT_EQ(Row(plane(2) + 79 * kPlaneWidth, plane(3)), row) << kind << " " << view;
            // Full-scale alternation draws half-height runs.
            for (int x = 0; x < kPlaneWidth && kind == 4; ++x)
                ASSERT_EQ(trace_run(x), x % 2 ? std::make_pair(0, 39) : std::make_pair(40, 79))
                    << x;
        }
    }
    EXPECT_EQ(Row(display_block(), display_planes()), head);
}

} // namespace
