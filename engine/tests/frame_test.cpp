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

TEST(Levels, HeightsAndColoursOfLevels) {
    const double levels[] = {0.0, 0.5, 1.0746, 1.0747, 2.0, 20.0, 316.0, 317.0, 1000.0};
    const int heights[] = {0, 0, 0, 1, 9, 41, 79, 80, 80};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(bar_height(levels[i]), heights[i]) << levels[i];
    // Squares too small or too large to represent, and non-numbers, stay in range.
    EXPECT_EQ(bar_height(1e-200), 0);
    EXPECT_EQ(bar_height(1e200), 80);
    EXPECT_EQ(bar_height(std::numeric_limits<double>::infinity()), 80);
    EXPECT_EQ(bar_height(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(bar_height(-5.0), 0);

    const int cell_heights[] = {0, 1, 2, 3, 9, 41, 79, 80};
    const int cells[] = {16, 16, 16, 17, 20, 40, 62, 63};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(spectrogram_colour(cell_heights[i]), cells[i]) << cell_heights[i];
    EXPECT_EQ(bar_colour(0), 32);
    EXPECT_EQ(bar_colour(2), 32);
    EXPECT_EQ(bar_colour(3), 33);
    EXPECT_EQ(bar_colour(78), 63);
    EXPECT_EQ(bar_colour(79), 63);
}

// The height by its definition, for comparison with the table-driven one.
int height_by_definition(double level) {
    if (!(level > 0.0))
        return 0;
    const double h = 16.0 * std::log10(level * level);
    return h >= 80.0 ? 80 : h > 0.0 ? static_cast<int>(h) : 0;
}

TEST(Levels, HeightsAgreeWithTheLogarithmAtEveryStep) {
    // Levels at, just below and just above every row boundary 10^(k/32), and levels between.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-3.0, 4.0);
    for (int k = 0; k <= 81; ++k) {
        const double edge = std::pow(10.0, k / 32.0);
        for (double v : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 1e9),
                         edge * (1 + 1e-12), edge * (1 - 1e-12), std::pow(10.0, exponent(random))})
            ASSERT_EQ(bar_height(v), height_by_definition(v)) << v;
    }
}

TEST(Levels, PeakOfMagnitudesAndScaling) {
    const double x[] = {9.0, -3.0, -2.0, 1.5, 0.0};
    EXPECT_EQ(band_peak(x, 1, 4), 3.0);
    EXPECT_EQ(band_peak(x, 2, 3), 2.0); // a coefficient of -2 counts as 2: height 9
    EXPECT_EQ(bar_height(band_level(BandBuffer::Short, band_peak(x, 2, 3))), 9);
    EXPECT_EQ(band_peak(x, 3, 3), 0.0);
    EXPECT_EQ(band_peak(x, 4, 2), 0.0);
    EXPECT_EQ(band_level(BandBuffer::Short, 3.0), 3.0);
    EXPECT_EQ(band_level(BandBuffer::Long, 3.0), 0.75);
}

class Frame : public ::testing::Test {
  protected:
    void SetUp() override {
        build_analysis_tables();
        ASSERT_TRUE(create_display_block());
        ASSERT_TRUE(create_sample_history());
        std::memset(display_planes(), 0, 3 * kPlaneBytes);
        set_bass_zoom(1);
    }
    void TearDown() override {
        free_display_block();
        free_sample_history();
        set_bass_zoom(1);
    }

    static unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
    static std::vector<unsigned char> planes() {
        return std::vector<unsigned char>(display_planes(), display_planes() + 3 * kPlaneBytes);
    }
    static void tone(double hz, double amplitude) {
        std::int16_t *h = sample_history();
        for (int i = 0; i < kHistorySamples; ++i)
            h[i] = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * M_PI * hz * i / 22050.0)));
    }
    // Bar heights read back from the spectrum plane.
    static std::vector<int> heights() {
        std::vector<int> h(kBands, 0);
        for (int j = 0; j < kBands; ++j)
            while (h[j] < kPlaneRows && plane(kSpectrumPlane)[h[j] * kPlaneWidth + 4 * j])
                ++h[j];
        return h;
    }
    static int tallest() {
        const std::vector<int> h = heights();
        const auto top = std::max_element(h.begin(), h.end());
        EXPECT_EQ(std::count(h.begin(), h.end(), *top), 1) << "no single tallest bar";
        return static_cast<int>(top - h.begin());
    }
    static const unsigned char *newest_row() {
        return plane(kSpectrogramPlane) + (kPlaneRows - 1) * kPlaneWidth;
    }
};

TEST_F(Frame, SilenceDrawsNoBarsAndAFlatSpectrogramRow) {
    std::memset(plane(kSpectrumPlane), 40, kPlaneBytes); // last frame's bars
    render_frame(kNoteMode | kScopeMode);
    for (int i = 0; i < kPlaneBytes; ++i)
        ASSERT_EQ(plane(kSpectrumPlane)[i], 0) << i;
    for (int x = 0; x < kPlaneWidth; ++x)
        ASSERT_EQ(newest_row()[x], x % 4 == 3 ? 0 : 16) << x;
}

TEST_F(Frame, NoteModeTonesLandOnTheirKeys) {
    tone(440.0, 3000.0);
    render_frame(kNoteMode);
    EXPECT_EQ(tallest(), 48);
    tone(110.0, 3000.0);
    render_frame(kNoteMode);
    EXPECT_EQ(tallest(), 24);
    // The newest spectrogram row holds the colour of each bar's height.
    const std::vector<int> h = heights();
    for (int j = 0; j < kBands; ++j)
        EXPECT_EQ(newest_row()[4 * j + 1], spectrogram_colour(h[j])) << j;
}

TEST_F(Frame, LinearModeSpansTheZoomedRange) {
    // 500 and 1500 short-transform elements: 2691.7 Hz and 8075.0 Hz.
    const double element = 22050.0 / 4096;
    tone(500 * element, 3000.0);
    render_frame(0);
    EXPECT_EQ(tallest(), 21);
    set_bass_zoom(2);
    render_frame(0);
    EXPECT_EQ(tallest(), 43);

    tone(1500 * element, 3000.0);
    render_frame(0); // above the zoomed range: no bar at all
    for (int hgt : heights())
        EXPECT_LE(hgt, 10);
    set_bass_zoom(1);
    render_frame(0);
    EXPECT_EQ(tallest(), 64);
    // Zoom is ignored in note mode.
    set_bass_zoom(2);
    tone(440.0, 3000.0);
    render_frame(kNoteMode);
    EXPECT_EQ(tallest(), 48);
}

// The whole chain against a direct sum: window, sine transform by its formula, band peaks
// with their scale factors, heights.
TEST_F(Frame, HeightsMatchADirectSineTransform) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> any(-6000, 6000);
    std::int16_t *h = sample_history();
    for (int i = 0; i < kHistorySamples; ++i)
        h[i] = static_cast<std::int16_t>(any(random) + 8000 * std::sin(i * 0.05));

    // Coefficient k of the n-point sine transform of the newest n samples under the window
    // sin(m * pi / n) (m < n/2) and its mirror image.
    auto coefficient = [&](int n, int k) {
        const std::int16_t *x = h + kHistorySamples - n;
        double sum = 0;
        for (int m = 0; m < n; ++m) {
            const double w = std::sin((m < n / 2 ? m : n - 1 - m) * M_PI / n);
            sum += x[m] / 32768.0 * w * std::sin(M_PI * (2 * m + 1) * k / (2.0 * n));
        }
        return sum;
    };
    struct View {
        unsigned flags;
        int zoom;
    };
    for (const View v : {View{kNoteMode, 1}, View{0, 1}, View{0, 2}}) {
        set_bass_zoom(v.zoom);
        render_frame(v.flags);
        const std::vector<int> drawn = heights();
        for (int j = 0; j < kBands; ++j) {
            const BandRange r = band_range(v.flags, v.zoom, j);
            const int n = r.buffer == BandBuffer::Long ? kLongTransform : kShortTransform;
            double peak = 0;
            for (int k = std::max(r.start, 2); k < r.end; ++k) // 0 and 1 are left out
                peak = std::max(peak, std::fabs(coefficient(n, k)));
            const double level = n == kLongTransform ? peak / 4 : peak;
            EXPECT_EQ(drawn[j], height_by_definition(level)) << v.flags << " band " << j;
        }
    }
}

TEST_F(Frame, FullBarRisesThroughTheColourRampWithADarkGap) {
    tone(440.0, 30000.0);
    render_frame(kNoteMode);
    const unsigned char *spectrum = plane(kSpectrumPlane);
    const int x = 4 * 48;
    for (int k = 0; k < kPlaneRows; ++k) {
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(spectrum[k * kPlaneWidth + x + c], bar_colour(k)) << k;
        ASSERT_EQ(spectrum[k * kPlaneWidth + x + 3], 0) << k;
    }
    EXPECT_EQ(spectrum[x], 32);
    EXPECT_EQ(spectrum[79 * kPlaneWidth + x], 63);
    EXPECT_EQ(newest_row()[x], 63);
    EXPECT_EQ(newest_row()[x + 3], 0);
}

TEST_F(Frame, ScopeBitChangesNothingTheFrameDraws) {
    tone(1000.0, 12000.0);
    render_frame(kNoteMode); // leave something in the spectrogram
    const std::vector<unsigned char> before = planes();
    for (unsigned mode : {0u, kNoteMode}) {
        std::memcpy(display_planes(), before.data(), before.size());
        render_frame(mode);
        const std::vector<unsigned char> without = planes();
        std::memcpy(display_planes(), before.data(), before.size());
        render_frame(mode | kScopeMode);
        EXPECT_EQ(planes(), without) << mode;
    }
}

TEST_F(Frame, SpectrogramScrollsAndKeepsRowsAcrossViews) {
    render_frame(kNoteMode); // silence: row of 16s
    std::vector<unsigned char> silent(newest_row(), newest_row() + kPlaneWidth);
    tone(2000.0, 20000.0);
    render_frame(0);
    const unsigned char *spectrogram = plane(kSpectrogramPlane);
    EXPECT_TRUE(std::equal(silent.begin(), silent.end(), spectrogram + 78 * kPlaneWidth));
    EXPECT_FALSE(std::equal(silent.begin(), silent.end(), newest_row()));

    clear_spectrum_plane(); // a view change clears the bars only
    for (int i = 0; i < kPlaneBytes; ++i)
        ASSERT_EQ(plane(kSpectrumPlane)[i], 0);
    EXPECT_TRUE(std::equal(silent.begin(), silent.end(), spectrogram + 78 * kPlaneWidth));

    // The silent row reaches row 0 after 79 further frames and is gone after the 80th.
    for (int f = 1; f < 79; ++f)
        render_frame(0);
    EXPECT_TRUE(std::equal(silent.begin(), silent.end(), spectrogram));
    render_frame(0);
    EXPECT_FALSE(std::equal(silent.begin(), silent.end(), spectrogram));
}

TEST_F(Frame, MissingBlockOrHistoryIsANoOp) {
    free_sample_history();
    std::memset(display_planes(), 9, 3 * kPlaneBytes);
    render_frame(kNoteMode);
    for (unsigned char b : planes())
        ASSERT_EQ(b, 9);
    free_display_block();
    ASSERT_TRUE(create_sample_history());
    render_frame(kNoteMode);
    render_frame(0);
}

// Random, extreme and degenerate histories through every view: whatever the signal, the
// frame writes only the planes, and only the colours each plane may hold.
TEST_F(Frame, AnySignalStaysInsideThePlanes) {
    const std::vector<unsigned char> head(display_block(), display_planes());
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::int16_t *h = sample_history();
    auto fill = [&](int kind) {
        for (int i = 0; i < kHistorySamples; ++i) {
            switch (kind) {
            case 0:
                h[i] = static_cast<std::int16_t>(any(random));
                break;
            case 1:
                h[i] = (i / 7) % 2 ? 32767 : -32768;
                break; // full-scale square
            case 2:
                h[i] = i % 2 ? 32767 : -32768;
                break; // Nyquist
            case 3:
                h[i] = -32768;
                break; // DC
            case 4:
                h[i] = i % 1024 == 0 ? 32767 : 0;
                break; // clicks
            default:
                h[i] = static_cast<std::int16_t>(any(random) >> 12);
                break; // hiss
            }
        }
    };
    for (int kind = 0; kind < 6; ++kind) {
        fill(kind);
        for (unsigned flags : {0u, 1u, 2u, 3u}) {
            for (int zoom : {1, 2}) {
                set_bass_zoom(zoom);
                render_frame(flags);
                const unsigned char *spectrum = plane(kSpectrumPlane);
                const unsigned char *scope = plane(kScopePlane);
                for (int i = 0; i < kPlaneBytes; ++i) {
                    const int x = i % kPlaneWidth;
                    ASSERT_TRUE(spectrum[i] == 0 ||
                                (x % 4 != 3 && spectrum[i] >= 32 && spectrum[i] <= 63))
                        << kind;
                    ASSERT_TRUE(scope[i] == 0 || scope[i] == 4) << kind;
                }
                for (int x = 0; x < kPlaneWidth; ++x)
                    ASSERT_TRUE(x % 4 == 3 ? newest_row()[x] == 0
                                           : newest_row()[x] >= 16 && newest_row()[x] <= 63)
                        << kind;
            }
        }
    }
    EXPECT_TRUE(std::equal(head.begin(), head.end(), display_block()));
}

} // namespace
