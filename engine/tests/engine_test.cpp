#include "engine/frame.h"
#include "engine/history.h"
#include "engine/levels.h"
#include "engine/scale_strip.h"
#include "engine/scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Row = std::vector<unsigned char>;

// Every test starts from freshly built tables and a new, zeroed display block and history.
struct Engine : ::testing::Test {
    void SetUp() override {
        free_display_block(), free_sample_history(), build_analysis_tables();
        ASSERT_TRUE(create_display_block() && create_sample_history());
    }
};

unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
int rgb(Rgb c) { return c.red << 16 | c.green << 8 | c.blue; }

// The height by its definition, for comparison with the table-driven one.
int height_by_definition(double level) {
    return level > 0 ? std::clamp(static_cast<int>(16 * std::log10(level * level)), 0, 80) : 0;
}

TEST_F(Engine, DisplayPlanesAndComposition) {
    const unsigned char *block = display_block(), *colours = block + 40; // blue, green, red, 0
    EXPECT_TRUE(plane(0) == block + 296 && plane(3) == block + kDisplayBlockBytes);
    EXPECT_EQ(Row(colours + 4 * 40, colours + 4 * 41), Row({0, 255, 143, 0}));
    std::generate(plane(0), plane(3), [] { return std::rand() % 256; }); // 64 and up show black
    for (unsigned flags : {kScopeMode, kNoteMode}) {
        std::vector<std::uint32_t> picture(353 * kPictureHeight, 7), want(picture);
        compose_picture(picture.data(), 353, flags); // one spare pixel a row
        for (int y = 0; y < kPictureHeight; ++y) {
            const unsigned char *src =
                y < 80 ? plane(0) + (79 - y) * kPlaneWidth
                       : plane(flags & kScopeMode ? 1 : 2) + (171 - y) * kPlaneWidth;
            for (int x = 0; x < kPlaneWidth && (y < 80 || y >= 92); ++x)
                want[y * 353 + x] = 0xff000000u | (src[x] < 64 ? rgb(palette_colour(src[x])) : 0);
        }
        EXPECT_TRUE(picture == want) << flags;
    }
    free_display_block(); // no block: nothing composed (not even into no picture) or drawn
    compose_picture(nullptr, kPictureWidth, 0);
    render_frame(kNoteMode);
}

TEST_F(Engine, HistoryFollowsTheRingFromDeliveredCopies) {
    std::int16_t b[kRingBuffers][kBlockSamples];
    const void *ring[] = {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]};
    // Delivers values v into buffer v / 100, then checks every sample of the rebuilt history.
    auto run = [&](std::vector<int> delivered, const void *arrived, std::vector<int> blocks) {
        for (int v : delivered)
            std::fill_n(b[v / 100], kBlockSamples, v),
                store_block(ring_index_of(ring[v / 100], ring), ring[v / 100]);
        rebuild_history(arrived, ring);
        for (int i = 0; i < kHistorySamples; ++i)
            ASSERT_EQ(sample_history()[i], blocks[i / kBlockSamples]) << i;
    };
    run({0, 100, 200, 300, 400, 500, 600, 700}, ring[5], {600, 700, 0, 100, 200, 300, 400, 500});
    run({}, b[0] + 1, {100, 200, 300, 400, 500, 600, 700, 0}); // no match: as buffer 0
    std::fill_n(b[6], kBlockSamples, -1); // the device refilling 6 while 3 is handled late
    run({401, 501}, ring[3], {401, 501, 600, 700, 0, 100, 200, 300});
    clear_blocks(); // a new run starts from silence; slots outside the ring are ignored
    store_block(8, ring[1]);
    run({9}, ring[0], {0, 0, 0, 0, 0, 0, 0, 9});
    free_sample_history(); // absent history: nothing rebuilt or drawn
    rebuild_history(ring[0], ring);
    render_frame(kNoteMode);
}

// Whether column x of the trace is lit in rows lo to hi, in the trace colour, and nowhere else.
bool lit(int x, int lo, int hi) {
    for (int r = 0; r < kPlaneRows; ++r)
        if (plane(1)[r * kPlaneWidth + x] != (r >= lo && r <= hi ? kTraceColour : 0))
            return false;
    return true;
}

// From signal to picture: band boundaries, bar heights and spectrogram colours, scope rows,
// and the vertical runs that join the trace.
TEST_F(Engine, BandsHeightsColoursAndScopeTrace) {
    // The long table's boundaries, then the short table's.
    const std::vector<int> bounds = {
        20,  22,  23,  24,  26,  27,  29,  30,  32,  34,  36,  38,  40,  43,  45,  48,  51,  53,
        57,  60,  64,  67,  71,  75,  80,  85,  90,  95,  101, 106, 113, 119, 127, 32,  34,  36,
        38,  40,  43,  45,  48,  51,  53,  57,  60,  64,  67,  71,  75,  80,  85,  90,  95,  101,
        106, 113, 119, 127, 134, 142, 150, 159, 169, 179, 189, 201, 212, 225, 238, 253, 268, 283,
        300, 318, 337, 357, 378, 401, 424, 450, 476, 505, 535, 566, 600, 636, 674, 714, 756, 801};
    EXPECT_TRUE(std::equal(long_band_table(), long_band_table() + 33, bounds.begin()) &&
                std::equal(short_band_table(), short_band_table() + 57, bounds.begin() + 33));
    // Level, bar height, spectrogram colour.
    const double lv[] = {0, 0.5, 1.0746, 1.0747, 1.25, 2, 20, 316, 317, 1000, 1e-200, INFINITY};
    const int h[] = {0, 0, 0, 1, 3, 9, 41, 79, 80, 80, 0, 80};
    const int c[] = {16, 16, 16, 16, 17, 20, 40, 62, 63, 63, 16, 63};
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(bar_height(lv[i]) == h[i] && spectrogram_colour(h[i]) == c[i]) << lv[i];
    const int edges[] = {-32768, 0,  -32001, 0,  -32000, 1,  -129,  39, -128,  40,
                         767,    40, 768,    41, 31871,  78, 31872, 79, 32767, 79}; // sample, row
    for (int i = 0; i < 20; i += 2)
        EXPECT_EQ(scope_row(static_cast<std::int16_t>(edges[i])), edges[i + 1]) << edges[i];
    // A step between columns 100 and 101 splits its run between them. Each step: from row, to
    // row, then the lit rows of columns 100 and 101.
    const int steps[] = {10, 20, 10, 15, 16, 20, 20, 10, 15, 20, 10, 14,
                         10, 11, 10, 10, 11, 11, 10, 13, 10, 11, 12, 13};
    for (const int *s = steps; s < steps + 24; s += 6) {
        for (int i = kScopeFirstSample; i < kHistorySamples; ++i)
            sample_history()[i] = (i <= kScopeFirstSample + 100 ? s[0] : s[1]) * 819 - 32700;
        draw_scope_trace();
        EXPECT_TRUE(lit(100, s[2], s[3]) && lit(101, s[4], s[5]) && lit(102, s[1], s[1])) << s[0];
    }
}

// Silence, notes, noise, full-scale and degenerate histories through every view and zoom,
// each view change clearing the bars, against a direct sum: window, sine transform by its
// formula, band peaks with their scale factors (the two lowest coefficients left out),
// heights, every bar cell and the new spectrogram row, the older rows moved up one. Nothing
// outside the planes is written.
TEST_F(Engine, FramesMatchADirectSineTransform) {
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
    for (int kind = 0; kind < 7; ++kind) { // silence, 440 Hz, 110 Hz, noise, Nyquist, DC, clicks
        for (int i = 0; i < kHistorySamples; ++i) {
            const double tone = 3000 * std::sin((kind == 1 ? 440 : 110) * 2 * M_PI / 22050 * i),
                         noise = std::rand() % 65536 - 32768.0, nyquist = i % 2 * 65535 - 32768.0;
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
            // The notes peak in bands 48 and 24; full-scale alternation draws half-height runs.
            EXPECT_TRUE(view % 2 == 0 || kind < 1 || kind > 2 ||
                        std::max_element(&row[0], &row[352]) - &row[0] == (kind == 1 ? 192 : 96));
            for (int x = 0; x < kPlaneWidth && kind == 4; ++x)
                ASSERT_TRUE(x % 2 ? lit(x, 0, 39) : lit(x, 40, 79)) << x;
        }
    }
    EXPECT_EQ(Row(display_block(), display_planes()), head);
}

// Paints fills of the strip's full height as one letter a column (k black, y yellow, w white,
// d dark grey, g light grey; ? anything else) and records the texts with their alignment.
struct Painter : StripPainter {
    void fill_rect(const StripRect &r, Rgb c) override {
        const int known[] = {0, 0xffff00, 0xffffff, 0x404040, 0xc0c0c0},
                  full = r.top == 80 && r.bottom == 92;
        strip.replace(r.left, r.right - r.left, r.right - r.left,
                      "kywdg?"[full ? std::find(known, known + 5, rgb(c)) - known : 5]);
    }
    void draw_text(const char *t, const StripRect &, StripAlign a, const StripFont &, Rgb,
                   Rgb) override {
        texts += " " + std::string(t) + "@" + std::to_string(static_cast<int>(a));
    }
    std::string strip = std::string(352, ' '), texts;
};

TEST_F(Engine, ScaleStripKeyboardAndLabels) {
    std::string keys; // from the lowest A: yellow and white octaves, dark grey sharps
    for (char k : std::string("ydywdwdwwdwdwdwydydyydydydywdwdwwdwdwdwydydyydydydywdwdwwdwdwdwydydy"
                              "ydydydywdwdwwdwdwdwy"))
        keys += std::string(3, k) + "k";
    for (int zoom : {1, 2, 0}) { // no say in note mode; a factor other than 2 counts as 1
        set_bass_zoom(zoom);
        Painter keyboard, labels;
        draw_scale_strip(keyboard, kNoteMode);
        draw_scale_strip(labels, kScopeMode);
        EXPECT_EQ(keyboard.strip + keyboard.texts, keys);
        EXPECT_EQ(labels.strip, std::string(352, 'g'));
        EXPECT_EQ(labels.texts, zoom == 2 ? " 1@0 2756@1 5512(Hz)@2" : " 1@0 5512@1 11025(Hz)@2");
    }
}

} // namespace
