#pragma once

#include "engine/scale_strip.h"

class QImage;

// Draws the scale strip straight into the shell's composite picture with QPainter.
class QtStripPainter : public StripPainter {
  public:
    explicit QtStripPainter(QImage &picture) : m_picture(picture) {}
    void fill_rect(const StripRect &rect, Rgb colour) override;
    void draw_text(const char *text, const StripRect &rect, StripAlign align, const StripFont &font,
                   Rgb background, Rgb foreground) override;

  private:
    QImage &m_picture;
};
