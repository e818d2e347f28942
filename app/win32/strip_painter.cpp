#include "shell.h"

#include "engine/scale_strip.h"

namespace {

// Draws the strip's fills and labels with GDI on a memory device context that holds the
// composite bitmap. Colours are palette-relative, so palette displays use the program's
// own slots.
class GdiStripPainter : public StripPainter {
  public:
    explicit GdiStripPainter(HDC dc) : dc_(dc) {}

    void fill_rect(const StripRect &rect, Rgb colour) override {
        const RECT area = {rect.left, rect.top, rect.right, rect.bottom};
        if (colour.red == 0 && colour.green == 0 && colour.blue == 0) {
            FillRect(dc_, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            return;
        }
        HBRUSH brush = CreateSolidBrush(PALETTERGB(colour.red, colour.green, colour.blue));
        FillRect(dc_, &area, brush);
        DeleteObject(brush);
    }

    void draw_text(const char *text, const StripRect &rect, StripAlign align, const StripFont &font,
                   Rgb background, Rgb foreground) override {
        HFONT created = CreateFontA(font.cell_height, // cell height
                                    0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0,
                                    0, 0, font.face);
        HGDIOBJ kept = SelectObject(dc_, created);
        SetBkColor(dc_, PALETTERGB(background.red, background.green, background.blue));
        SetTextColor(dc_, PALETTERGB(foreground.red, foreground.green, foreground.blue));
        RECT area = {rect.left, rect.top, rect.right, rect.bottom};
        const UINT format = align == StripAlign::Centre  ? DT_CENTER
                            : align == StripAlign::Right ? DT_RIGHT
                                                         : 0;
        DrawTextA(dc_, text, -1, &area, format);
        SelectObject(dc_, kept);
        DeleteObject(created);
    }

  private:
    HDC dc_;
};

} // namespace

void draw_scale_strip(HWND window, HBITMAP composite, unsigned view_flags) {
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    ReleaseDC(window, screen);
    HGDIOBJ kept = SelectObject(memory, composite);
    GdiStripPainter painter(memory);
    draw_scale_strip(painter, view_flags);
    SelectObject(memory, kept);
    DeleteDC(memory);
}
