#include "engine_test.h"

#include "engine/readout.h"
#include <cstdlib>
#include <string>

namespace {

struct Readout : EngineTest {};

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
    // A peak in cents from the band's key in note mode, from the nearest key (named, also off
    // the keyboard) in linear mode; whole cents with their sign. (describe_band appends it
    // where a band holds a peak: the end-to-end readout cases read that on a live tone.)
    EXPECT_EQ(peak_text(kNoteMode, 48, 439.9), "peak 439.9 Hz +0 cents");
    EXPECT_EQ(peak_text(0, 9, 1234.5), "peak 1234.5 Hz D#6 -14 cents");
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

} // namespace
