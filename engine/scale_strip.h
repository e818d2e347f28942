#pragma once

#include "display.h"

// The scale strip under the bars (picture rows 80..91): a piano keyboard in note mode, three
// frequency labels otherwise. The portable part decides what to draw; each shell supplies a
// painter that draws it onto its composite picture.

struct StripRect {
    int left; // picture columns and rows; right and bottom exclusive
    int top;
    int right;
    int bottom;
};

enum class StripAlign { Left, Centre, Right };

struct StripFont {
    const char *face; // "Arial"
    int cell_height;  // pixels
};

class StripPainter {
  public:
    virtual ~StripPainter() = default;
    virtual void fill_rect(const StripRect &rect, Rgb colour) = 0;
    // Draws `text` in `rect`, aligned horizontally as given and at the top, each glyph cell
    // on an opaque `background`.
    virtual void draw_text(const char *text, const StripRect &rect, StripAlign align,
                           const StripFont &font, Rgb background, Rgb foreground) = 0;
};

// Draws the strip for the given view flags (only bit 0 is read) and, in linear mode, the
// current bass zoom factor.
void draw_scale_strip(StripPainter &painter, unsigned view_flags);
