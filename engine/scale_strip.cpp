#include "engine/scale_strip.h"

#include "engine/frame.h"

#include <cstdio>

namespace {

constexpr StripRect kStrip{0, kStripTop, kPictureWidth, kStripTop + kStripRows};
constexpr int kKeys = 88;

// Key i is semitone i above A0. Octaves are counted from C, so A0 and B0 are octave 0.
Rgb key_colour(int key) {
    switch (key % 12) {
    case 1:
    case 4:
    case 6:
    case 9:
    case 11: // A#, C#, D#, F#, G#
        return Rgb{64, 64, 64};
    default:
        break;
    }
    const int octave = (key + 9) / 12;
    return octave % 2 ? Rgb{255, 255, 255} : Rgb{255, 255, 0};
}

void draw_keyboard(StripPainter &painter) {
    painter.fill_rect(kStrip, Rgb{0, 0, 0});
    // Keys are three columns wide under the three coloured columns of each bar; the fourth
    // column keeps the black ground.
    for (int key = 0; key < kKeys; ++key)
        painter.fill_rect(StripRect{4 * key, kStrip.top, 4 * key + 3, kStrip.bottom},
                          key_colour(key));
}

void draw_labels(StripPainter &painter, int zoom) {
    const Rgb grey{192, 192, 192};
    const Rgb black{0, 0, 0};
    const StripFont font{"Arial", 12};
    const StripRect text{kStrip.left + 1, kStrip.top, kStrip.right - 1, kStrip.bottom};
    painter.fill_rect(kStrip, grey);

    char label[16];
    std::snprintf(label, sizeof label, "%d", 1);
    painter.draw_text(label, text, StripAlign::Left, font, grey, black);
    std::snprintf(label, sizeof label, "%d", 5512 / zoom);
    painter.draw_text(label, text, StripAlign::Centre, font, grey, black);
    std::snprintf(label, sizeof label, "%d(Hz)", 11025 / zoom);
    painter.draw_text(label, text, StripAlign::Right, font, grey, black);
}

} // namespace

void draw_scale_strip(StripPainter &painter, unsigned view_flags) {
    if (view_flags & kNoteMode)
        draw_keyboard(painter);
    else
        draw_labels(painter, bass_zoom());
}
