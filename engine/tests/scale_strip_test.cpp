#include "engine_test.h"

#include "engine/scale_strip.h"
#include <string>

namespace {

struct ScaleStrip : EngineTest {};

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

} // namespace
