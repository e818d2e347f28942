#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// The height by its definition, for comparison with the table-driven one.
int height_by_definition(double level) {
    if (!(level > 0.0))
        return 0;
    const double h = 16.0 * std::log10(level * level);
    return h >= 80.0 ? 80 : h > 0.0 ? static_cast<int>(h) : 0;
}

TEST(Levels, HeightsAndColours) {
    const double levels[] = {0.0,
                             0.5,
                             1.0746,
                             1.0747,
                             2.0,
                             20.0,
                             316.0,
                             317.0,
                             1000.0,
                             1e-200,
                             std::numeric_limits<double>::infinity()};
    const int heights[] = {0, 0, 0, 1, 9, 41, 79, 80, 80, 0, 80};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(bar_height(levels[i]), heights[i]) << levels[i];
    // At, just below and just above every row boundary, and in between.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-3.0, 4.0);
    for (int k = 0; k <= 81; ++k) {
        const double edge = std::pow(10.0, k / 32.0);
        for (double v : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 1e9),
                         std::pow(10.0, exponent(random))})
            ASSERT_EQ(bar_height(v), height_by_definition(v)) << v;
    }
    const int cells[][2] = {{0, 16}, {2, 16}, {3, 17}, {9, 20}, {41, 40}, {79, 62}, {80, 63}};
    for (const auto &c : cells)
        EXPECT_EQ(spectrogram_colour(c[0]), c[1]) << c[0];
    const double x[] = {9.0, -3.0, -2.0, 1.5};
    EXPECT_EQ(band_peak(x, 1, 4), 3.0);
    EXPECT_EQ(band_peak(x, 3, 3), 0.0);
}

class Frame : public ::testing::Test {
  protected:
    void SetUp() override {
        build_analysis_tables();
        ASSERT_TRUE(create_display_block());
        ASSERT_TRUE(create_sample_history());
    }
    void TearDown() override {
        free_display_block();
        free_sample_history();
        set_bass_zoom(1);
    }
    static unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
    static const unsigned char *newest_row() { return plane(2) + 79 * kPlaneWidth; }
    static void tone(double hz, double amplitude) {
        for (int i = 0; i < kHistorySamples; ++i)
            sample_history()[i] = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * M_PI * hz * i / 22050.0)));
    }
    // Bar heights read back from the spectrum plane.
    static std::vector<int> heights() {
        std::vector<int> h(kBands, 0);
        for (int j = 0; j < kBands; ++j)
            while (h[j] < kPlaneRows && plane(0)[h[j] * kPlaneWidth + 4 * j])
                ++h[j];
        return h;
    }
    static int tallest() {
        const std::vector<int> h = heights();
        return static_cast<int>(std::max_element(h.begin(), h.end()) - h.begin());
    }
};

TEST_F(Frame, TonesLandInTheirBands) {
    render_frame(kNoteMode); // silence
    for (int i = 0; i < kPlaneBytes; ++i)
        ASSERT_EQ(plane(0)[i], 0);
    for (int x = 0; x < kPlaneWidth; ++x)
        ASSERT_EQ(newest_row()[x], x % 4 == 3 ? 0 : 16);

    std::fill_n(sample_history(), kHistorySamples, -20000); // the lowest coefficient is left out,
    render_frame(0);                                        // so a steady offset shows no bar
    EXPECT_EQ(heights(), std::vector<int>(kBands, 0));
    tone(440.0, 3000.0);
    render_frame(kNoteMode);
    EXPECT_EQ(tallest(), 48);
    tone(110.0, 3000.0);
    render_frame(kNoteMode | kScopeMode);
    EXPECT_EQ(tallest(), 24);
    tone(500 * 22050.0 / 4096, 3000.0); // short element 500
    render_frame(0);
    EXPECT_EQ(tallest(), 21);
    set_bass_zoom(2);
    render_frame(0);
    EXPECT_EQ(tallest(), 43);
}

// The whole chain against a direct sum: window, sine transform by its formula, band peaks
// with their scale factors, heights, bar and spectrogram colours.
TEST_F(Frame, HeightsMatchADirectSineTransform) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> any(-6000, 6000);
    std::int16_t *h = sample_history();
    for (int i = 0; i < kHistorySamples; ++i)
        h[i] = static_cast<std::int16_t>(any(random) + 8000 * std::sin(i * 0.05));
    auto coefficient = [&](int n, int k) {
        const std::int16_t *x = h + kHistorySamples - n;
        double sum = 0;
        for (int m = 0; m < n; ++m) {
            const double w = std::sin((m < n / 2 ? m : n - 1 - m) * M_PI / n);
            sum += x[m] / 32768.0 * w * std::sin(M_PI * (2 * m + 1) * k / (2.0 * n));
        }
        return sum;
    };
    for (const unsigned flags : {kNoteMode, 0u, 0u + 4}) { // 4: linear at zoom 2
        set_bass_zoom(flags == 4 ? 2 : 1);
        render_frame(flags);
        const std::vector<int> drawn = heights();
        for (int j = 0; j < kBands; ++j) {
            const BandRange r = band_range(flags, bass_zoom(), j);
            const int n = r.buffer == BandBuffer::Long ? kLongTransform : kShortTransform;
            double peak = 0;
            for (int k = std::max(r.start, 2); k < r.end; ++k) // 0 and 1 are left out
                peak = std::max(peak, std::fabs(coefficient(n, k)));
            const int expected = height_by_definition(n == kLongTransform ? peak / 4 : peak);
            ASSERT_EQ(drawn[j], expected) << flags << " band " << j;
            ASSERT_EQ(newest_row()[4 * j + 2], spectrogram_colour(expected));
            if (expected > 0) {
                ASSERT_EQ(plane(0)[(expected - 1) * kPlaneWidth + 4 * j], bar_colour(expected - 1));
            }
        }
    }
}

TEST_F(Frame, SpectrogramScrollsAndOutlivesViewChanges) {
    render_frame(kNoteMode); // a silent row
    const std::vector<unsigned char> silent(newest_row(), newest_row() + kPlaneWidth);
    tone(2000.0, 20000.0);
    render_frame(0);
    clear_spectrum_plane(); // as a view change does: the bars go, the spectrogram stays
    EXPECT_EQ(std::count(plane(0), plane(1), 0), kPlaneBytes);
    EXPECT_TRUE(std::equal(silent.begin(), silent.end(), plane(2) + 78 * kPlaneWidth));
    for (int f = 1; f < 79; ++f)
        render_frame(f % 2 ? kScopeMode : kNoteMode);
    EXPECT_TRUE(std::equal(silent.begin(), silent.end(), plane(2)));
    render_frame(0);
    EXPECT_FALSE(std::equal(silent.begin(), silent.end(), plane(2)));
}

// Random, extreme and degenerate histories through every view: the frame writes only the
// planes, and only the colours each plane may hold.
TEST_F(Frame, AnySignalStaysInsideThePlanes) {
    const std::vector<unsigned char> head(display_block(), display_planes());
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::int16_t *h = sample_history();
    for (int kind = 0; kind < 5; ++kind) {
        for (int i = 0; i < kHistorySamples; ++i) {
            const int v[] = {any(random), (i / 7) % 2 ? 32767 : -32768, i % 2 ? 32767 : -32768,
                             -32768, i % 1024 ? 0 : 32767}; // noise, square, Nyquist, DC, clicks
            h[i] = static_cast<std::int16_t>(v[kind]);
        }
        for (unsigned flags : {0u, 1u, 2u, 3u}) {
            for (int zoom : {1, 2}) {
                set_bass_zoom(zoom);
                render_frame(flags);
                for (int i = 0; i < kPlaneBytes; ++i) {
                    const int bar = plane(0)[i], trace = plane(1)[i];
                    ASSERT_TRUE(bar == 0 || (i % 4 != 3 && bar >= 32 && bar <= 63)) << kind;
                    ASSERT_TRUE(trace == 0 || trace == 4) << kind;
                }
                for (int x = 0; x < kPlaneWidth; ++x)
                    ASSERT_TRUE(x % 4 == 3 ? newest_row()[x] == 0 : newest_row()[x] >= 16);
            }
        }
    }
    EXPECT_TRUE(std::equal(head.begin(), head.end(), display_block()));
    // Without a history or a display block the frame does nothing.
    free_sample_history();
    std::memset(display_planes(), 9, 3 * kPlaneBytes);
    render_frame(kNoteMode);
    EXPECT_EQ(std::count(plane(0), plane(0) + 3 * kPlaneBytes, 9), 3 * kPlaneBytes);
    free_display_block();
    ASSERT_TRUE(create_sample_history());
    render_frame(kNoteMode);
}

} // namespace
