#include "engine/frame.h"
#include "engine/scale_strip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Paints fills into a 352 x 12 grid of colours (as 0xRRGGBB) and records texts.
struct RecordingPainter : StripPainter {
    void fill_rect(const StripRect &r, Rgb c) override {
        ASSERT_TRUE(r.left >= 0 && r.right <= 352 && r.top >= 80 && r.bottom <= 92);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                grid[y - 80][x] = c.red << 16 | c.green << 8 | c.blue;
    }
    void draw_text(const char *text, const StripRect &r, StripAlign align, const StripFont &font,
                   Rgb bg, Rgb fg) override {
        EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom, font.cell_height}),
                  std::vector<int>({1, 80, 351, 92, 12}));
        EXPECT_EQ(std::string(font.face), "Arial");
        EXPECT_EQ(bg.red + bg.green + bg.blue + fg.red + fg.green + fg.blue, 3 * 192);
        texts.push_back(std::string(text) + "@" + std::to_string(static_cast<int>(align)));
    }
    int grid[12][352] = {};
    std::vector<std::string> texts;
};

TEST(ScaleStrip, KeyboardUnderTheBars) {
    set_bass_zoom(2); // no say in note mode
    RecordingPainter p;
    draw_scale_strip(p, kNoteMode);
    EXPECT_TRUE(p.texts.empty());
    const int yellow = 0xffff00, white = 0xffffff, dark = 0x404040;
    const int keys[][2] = {{0, yellow},  {1, dark},    {3, white},  {38, white},
                           {39, yellow}, {48, yellow}, {51, white}, {87, yellow}};
    for (const auto &k : keys)
        for (int x = 4 * k[0]; x < 4 * k[0] + 3; ++x)
            EXPECT_EQ(p.grid[11][x], k[1]) << k[0];
    for (int x = 3; x < 352; x += 4)
        EXPECT_EQ(p.grid[0][x] | p.grid[11][x], 0) << x;
    set_bass_zoom(1);
}

TEST(ScaleStrip, LabelsFollowTheZoom) {
    for (int zoom : {1, 2, 0}) { // a factor other than 2 counts as 1
        set_bass_zoom(zoom);
        RecordingPainter p;
        draw_scale_strip(p, kScopeMode);
        EXPECT_EQ(p.grid[5][0] & p.grid[11][351], 0xc0c0c0);
        const std::vector<std::string> expected[] = {{"1@0", "5512@1", "11025(Hz)@2"},
                                                     {"1@0", "2756@1", "5512(Hz)@2"}};
        EXPECT_EQ(p.texts, expected[zoom == 2]);
    }
    set_bass_zoom(1);
}

} // namespace
