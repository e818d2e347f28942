#include "engine/frame.h"
#include "engine/history.h"
#include "engine/levels.h"
#include "engine/readout.h"
#include "engine/scale_strip.h"
#include "engine/scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

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
struct Display : EngineTest {};
struct History : EngineTest {};
struct Scope : EngineTest {};
struct Frame : EngineTest {};
struct ScaleStrip : EngineTest {};
struct Readout : EngineTest {};

unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
int rgb(Rgb c) { return c.red << 16 | c.green << 8 | c.blue; }

// The height by its definition, for comparison with the table-driven one.
int height_by_definition(double level) {
    return level > 0 ? std::clamp(static_cast<int>(16 * std::log10(level * level)), 0, 80) : 0;
}

// The rows of column x that the scope trace lights, lowest and highest; {-1, -1} when they
// are not one run in the trace colour.
std::pair<int, int> trace_run(int x) {
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

// The ends of the three colour ramps, stored blue, green, red, 0 behind the 40-byte header;
// the planes follow the table.
TEST_F(Display, ColourTableHoldsTheRampEndsAndThePlanesFollowIt) {
    const std::pair<int, int> entries[] = {{0, 0},         {15, 0xc0c0c0}, {16, 0x000f00},
                                           {31, 0x00ff00}, {32, 0x0fff00}, {40, 0x8fff00},
                                           {47, 0xffff00}, {48, 0xffef00}, {62, 0xff0f00},
                                           {63, 0xff0000}}; // index, red green blue
    for (const auto &[index, colour] : entries) {
        const unsigned char *c = display_block() + 40 + 4 * index;
        EXPECT_EQ(c[3] << 24 | c[2] << 16 | c[1] << 8 | c[0], colour) << index;
    }
    EXPECT_EQ(plane(0), display_block() + 296);
    EXPECT_EQ(plane(3), display_block() + kDisplayBlockBytes);
}

// The spectrum plane and the lower plane the view chooses, each upside down; the strip rows
// and a spare pixel a row untouched; indices of 64 and up black. No block: nothing composed
// (not even into no picture) and nothing drawn.
TEST_F(Display, ComposesTheSpectrumAndTheChosenLowerPlaneUpsideDown) {
    std::mt19937 random(3);
    std::generate(plane(0), plane(3), [&] { return static_cast<unsigned char>(random()); });
    for (unsigned flags : {kScopeMode, kNoteMode}) {
        std::vector<std::uint32_t> picture(353 * kPictureHeight, 7), want(picture);
        compose_picture(picture.data(), 353, flags);
        for (int y = 0; y < kPictureHeight; ++y) {
            const unsigned char *src =
                y < 80 ? plane(0) + (79 - y) * kPlaneWidth
                       : plane(flags & kScopeMode ? 1 : 2) + (171 - y) * kPlaneWidth;
            for (int x = 0; x < kPlaneWidth && (y < 80 || y >= 92); ++x)
                want[y * 353 + x] = 0xff000000u | (src[x] < 64 ? rgb(palette_colour(src[x])) : 0);
        }
        const auto differs = std::mismatch(picture.begin(), picture.end(), want.begin()).first;
        EXPECT_EQ(differs - picture.begin(), 353 * kPictureHeight)
            << "first wrong pixel, " << flags;
    }
    free_display_block();
    compose_picture(nullptr, kPictureWidth, 0);
    render_frame(kNoteMode);
}

TEST_F(History, FollowsTheRingFromDeliveredCopies) {
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

TEST_F(ScaleStrip, KeyboardInNoteModeAndLabelsByZoom) {
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

// Note mode: the key and its equal-tempered frequency; linear mode: the first and last
// coefficient the band reads (22050 / 4096 Hz each), as the frame's band table gives them.
TEST_F(Readout, KeysInNoteModeAndCoefficientRangesInLinearMode) {
    const struct {
        unsigned flags;
        int zoom;
        int band;
        const char *text;
    } cases[] = {{kNoteMode, 1, 0, "A0 27.5 Hz"},
                 {kNoteMode, 2, 1, "A#0 29.1 Hz"},
                 {kNoteMode | kScopeMode, 1, 39, "C4 261.6 Hz"},
                 {kNoteMode, 1, 48, "A4 440.0 Hz"},
                 {kNoteMode, 1, 87, "C8 4186.0 Hz"},
                 {0, 1, 0, "0–118 Hz"},
                 {0, 1, 87, "10896–11020 Hz"},
                 {kScopeMode, 2, 0, "0–54 Hz"},
                 {0, 2, 87, "5448–5507 Hz"}};
    for (const auto &c : cases)
        EXPECT_EQ(band_frequency_text(c.flags, c.zoom, c.band), c.text)
            << "flags " << c.flags << " zoom " << c.zoom << " band " << c.band;
}

TEST_F(Readout, LevelAgainstAFullBarAndOnlyForTheViewOnScreen) {
    const struct {
        double level;
        const char *text;
    } levels[] = {
        {0.0, "silent"}, {1.0, "-50 dB"}, {100.0, "-10 dB"}, {316.3, "0 dB"}, {1000.0, "+10 dB"}};
    for (const auto &l : levels)
        EXPECT_EQ(level_text(l.level), l.text) << "level " << l.level;

    for (int i = 0; i < kHistorySamples; ++i) // 440 Hz, a tenth of full scale
        sample_history()[i] =
            static_cast<std::int16_t>(3277.0 * std::sin(2 * M_PI * 440 * i / 22050.0));
    EXPECT_EQ(describe_band(kNoteMode, 1, 48), "A4 440.0 Hz") << "no bars on screen";
    render_frame(kNoteMode);
    // The dB figure and the bar drawn for band 48 agree: 1.6 rows per dB.
    const std::string text = describe_band(kNoteMode, 1, 48);
    ASSERT_EQ(text.rfind("A4 440.0 Hz, -", 0), 0u) << text;
    const long db = std::strtol(text.c_str() + 13, nullptr, 10);
    int rows = 0;
    while (rows < kPlaneRows && plane(0)[rows * kPlaneWidth + 4 * 48] != 0)
        ++rows;
    EXPECT_NEAR(rows, (db + 50) * 1.6, 1.6) << text;
    EXPECT_EQ(describe_band(0, 1, 48), band_frequency_text(0, 1, 48)) << "drawn in note mode";
    render_frame(0);
    EXPECT_NE(describe_band(0, 1, 48), band_frequency_text(0, 1, 48));
    EXPECT_EQ(describe_band(0, 2, 48), band_frequency_text(0, 2, 48)) << "drawn at zoom 1";
}

// The peak in cents from the band's key in note mode, from the nearest key (named, also off
// the keyboard) in linear mode; whole cents with their sign. The readout shows the peak the
// last frame holds, only in a band with one.
TEST_F(Readout, PeakInWholeCentsFromTheKeyOrTheNearestKey) {
    const struct {
        unsigned flags;
        int band;
        double hz;
        const char *text;
    } peaks[] = {{kNoteMode, 48, 443.0, "peak 443.0 Hz +12 cents"}, // A4 +11.7 cents
                 {kNoteMode, 48, 436.0, "peak 436.0 Hz -16 cents"},
                 {kNoteMode, 48, 439.9, "peak 439.9 Hz +0 cents"},
                 {0, 9, 1234.5, "peak 1234.5 Hz D#6 -14 cents"},
                 {0, 0, 20.0, "peak 20.0 Hz D#0 +49 cents"},
                 {0, 87, 10000.0, "peak 10000.0 Hz D#9 +8 cents"}};
    for (const auto &p : peaks)
        EXPECT_EQ(peak_text(p.flags, p.band, p.hz), p.text) << p.hz << " Hz";

    for (int i = 0; i < kHistorySamples; ++i)
        sample_history()[i] =
            static_cast<std::int16_t>(16000.0 * std::sin(2 * M_PI * 443 * i / 22050.0 + 1.0));
    render_frame(kNoteMode);
    const std::string a4 = describe_band(kNoteMode, 1, 48);
    EXPECT_EQ(a4.rfind("A4 440.0 Hz, -", 0), 0u) << a4;
    EXPECT_EQ(a4.substr(a4.size() - 25), ", peak 443.0 Hz +12 cents") << a4;
    EXPECT_EQ(describe_band(kNoteMode, 1, 60).find("peak"), std::string::npos)
        << "a band without a tone";
}

} // namespace
