#include "engine/frame.h"
#include "engine/scale_strip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every fill and text, and paints the fills into a 352 x 12 strip of colours.
class RecordingPainter : public StripPainter {
  public:
    struct Text {
        std::string text;
        StripRect rect;
        StripAlign align;
        std::string face;
        int cell_height;
        Rgb background, foreground;
    };

    void fill_rect(const StripRect &rect, Rgb colour) override {
        ++fills;
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x) {
                ASSERT_TRUE(y >= kStripTop && y < kStripTop + kStripRows && x >= 0 &&
                            x < kPictureWidth)
                    << "fill outside the strip at " << x << "," << y;
                strip[y - kStripTop][x] = colour;
            }
    }
    void draw_text(const char *text, const StripRect &rect, StripAlign align, const StripFont &font,
                   Rgb background, Rgb foreground) override {
        texts.push_back({text, rect, align, font.face, font.cell_height, background, foreground});
    }

    Rgb at(int x, int row = 0) const { return strip[row][x]; }

    int fills = 0;
    std::vector<Text> texts;
    Rgb strip[kStripRows][kPictureWidth] = {};
};

bool same(Rgb a, Rgb b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

const Rgb kBlack{0, 0, 0}, kGrey{192, 192, 192}, kDark{64, 64, 64};
const Rgb kWhite{255, 255, 255}, kYellow{255, 255, 0};

TEST(ScaleStrip, KeyboardKeysStandUnderTheBars) {
    for (int zoom : {1, 2}) { // the zoom has no say in note mode
        set_bass_zoom(zoom);
        RecordingPainter painter;
        for (int x = 0; x < kPictureWidth; ++x)
            for (auto &row : painter.strip)
                row[x] = Rgb{1, 2, 3};
        draw_scale_strip(painter, kNoteMode | kScopeMode);
        EXPECT_TRUE(painter.texts.empty());
        EXPECT_EQ(painter.fills, 1 + 88);

        struct Key {
            int key;
            Rgb colour;
        };
        for (const Key &k : {Key{0, kYellow}, Key{1, kDark}, Key{2, kYellow}, Key{3, kWhite},
                             Key{38, kWhite}, Key{39, kYellow}, Key{40, kDark}, Key{48, kYellow},
                             Key{50, kYellow}, Key{51, kWhite}, Key{86, kWhite}, Key{87, kYellow}})
            for (int c = 0; c < 3; ++c)
                EXPECT_TRUE(same(painter.at(4 * k.key + c, c * 5), k.colour)) << k.key;
        for (int x = 3; x < kPictureWidth; x += 4)
            for (int row = 0; row < kStripRows; ++row)
                ASSERT_TRUE(same(painter.at(x, row), kBlack)) << x;
        // Five black keys in every twelve.
        int dark = 0;
        for (int key = 0; key < 88; ++key)
            dark += same(painter.at(4 * key), kDark);
        EXPECT_EQ(dark, 36);
    }
    set_bass_zoom(1);
}

TEST(ScaleStrip, LinearLabelsFollowTheZoom) {
    struct Case {
        int zoom;
        const char *centre;
        const char *right;
    };
    for (const Case &c : {Case{1, "5512", "11025(Hz)"}, Case{2, "2756", "5512(Hz)"},
                          Case{7, "5512", "11025(Hz)"}}) {
        set_bass_zoom(c.zoom);
        RecordingPainter painter;
        draw_scale_strip(painter, kScopeMode);
        EXPECT_EQ(painter.fills, 1);
        for (int x = 0; x < kPictureWidth; ++x)
            ASSERT_TRUE(same(painter.at(x, 11), kGrey)) << x;
        ASSERT_EQ(painter.texts.size(), 3u);
        const char *expected[] = {"1", c.centre, c.right};
        const StripAlign aligns[] = {StripAlign::Left, StripAlign::Centre, StripAlign::Right};
        for (int i = 0; i < 3; ++i) {
            const RecordingPainter::Text &t = painter.texts[i];
            EXPECT_EQ(t.text, expected[i]) << c.zoom;
            EXPECT_EQ(t.align, aligns[i]);
            EXPECT_EQ(t.rect.left, 1);
            EXPECT_EQ(t.rect.right, 351);
            EXPECT_EQ(t.rect.top, 80);
            EXPECT_EQ(t.rect.bottom, 92);
            EXPECT_EQ(t.face, "Arial");
            EXPECT_EQ(t.cell_height, 12);
            EXPECT_TRUE(same(t.background, kGrey));
            EXPECT_TRUE(same(t.foreground, kBlack));
        }
    }
    set_bass_zoom(1);
}

} // namespace
