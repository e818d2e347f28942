#include "resource.h"
#include "shell.h"

#include "capture/capture.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>

namespace {

// Window-level state, owned by the main window for its whole life.
HWND g_toolbar = nullptr;      // the toolbar control
HWND g_tooltip = nullptr;      // the tooltip control shared by the eight buttons
int g_toolbar_height = 0;      // measured once at creation
HPALETTE g_palette = nullptr;  // the 64 colours, for palette displays; kept until exit
HBITMAP g_composite = nullptr; // the 352 x 172 picture in the display's own format

// The toolbar's entries as the toolbar control takes them, from the shared button table.
TBBUTTON toolbar_entry(const ToolbarButton &button) {
    const BYTE style = button.kind == ButtonKind::Separator ? TBSTYLE_SEP
                       : button.kind == ButtonKind::Check   ? TBSTYLE_CHECK
                                                            : TBSTYLE_BUTTON;
    return {button.image, button.command, TBSTATE_ENABLED, style, {}, 0, 0};
}

// One tool per button. The texts are Japanese: the tooltip control is a wide window and
// loads the string resources itself as UTF-16, so they read correctly whatever the
// system's ANSI code page is.
void add_tooltips(HWND window) {
    g_tooltip = CreateWindowExW(0,                            // extended style
                                TOOLTIPS_CLASSW,              // class
                                nullptr,                      // title
                                TTS_ALWAYSTIP,                // style
                                CW_USEDEFAULT, CW_USEDEFAULT, // position
                                CW_USEDEFAULT, CW_USEDEFAULT, // size
                                window,                       // parent
                                nullptr,                      // menu
                                g_instance,                   // instance
                                nullptr);                     // creation parameter
    for (int i = 0; i < kToolbarButtonCount; ++i) {
        const int command = kToolbarButtons[i].command;
        if (kToolbarButtons[i].kind == ButtonKind::Separator)
            continue;
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = g_toolbar;
        tool.uId = static_cast<UINT_PTR>(command);
        SendMessageA(g_toolbar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tool.rect));
        tool.hinst = g_instance;
        tool.lpszText = MAKEINTRESOURCEW(command);
        SendMessageW(g_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageA(g_toolbar, TB_SETTOOLTIPS, reinterpret_cast<WPARAM>(g_tooltip), 0);
}

// The logical palette: the 64 colours with slots of their own (PC_NOCOLLAPSE).
HPALETTE create_palette() {
    const SIZE_T bytes = sizeof(LOGPALETTE) + (kPaletteSize - 1) * sizeof(PALETTEENTRY);
    auto *record = static_cast<LOGPALETTE *>(GlobalAlloc(GPTR, bytes));
    if (!record)
        return nullptr;
    record->palVersion = 0x300;
    record->palNumEntries = kPaletteSize;
    for (int i = 0; i < kPaletteSize; ++i) {
        const Rgb colour = palette_colour(i);
        record->palPalEntry[i] = {colour.red, colour.green, colour.blue, PC_NOCOLLAPSE};
    }
    HPALETTE palette = CreatePalette(record);
    GlobalFree(record);
    return palette;
}

// Releases what creation made so far; every step is harmless when its part is absent.
void release_picture() {
    stop_capture();
    free_sample_history();
    free_display_block();
    if (g_composite) {
        DeleteObject(g_composite);
        g_composite = nullptr;
    }
}

LRESULT on_create(HWND window) {
    InitCommonControls();
    TBBUTTON buttons[kToolbarButtonCount];
    for (int i = 0; i < kToolbarButtonCount; ++i)
        buttons[i] = toolbar_entry(kToolbarButtons[i]);
    g_toolbar = CreateToolbarEx(window,                               // parent
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, // style
                                IDC_TOOLBAR,                          // control id
                                12,                                   // images in the strip
                                g_instance, IDB_TOOLBAR,              // the strip
                                buttons, kToolbarButtonCount,         // buttons
                                16, 16,                               // button size
                                16, 15,                               // image size
                                sizeof(TBBUTTON));
    if (!g_toolbar)
        return -1;
    add_tooltips(window);
    create_readout_tip(window);

    RECT toolbar_rect;
    GetWindowRect(g_toolbar, &toolbar_rect);
    g_toolbar_height = toolbar_rect.bottom - toolbar_rect.top;

    // Without the history, the planes or the picture nothing could be drawn later:
    // creation fails as a whole, and start-up ends quietly as for a missing toolbar.
    if (!create_sample_history())
        return -1;
    // Without its palette the picture still shows, in the nearest system colours on a
    // palette display and exactly elsewhere: not worth failing creation for.
    g_palette = create_palette();
    if (!create_display_block()) {
        release_picture();
        return -1;
    }
    HDC screen = GetDC(window);
    g_composite = CreateCompatibleBitmap(screen, kPictureWidth, kPictureHeight);
    ReleaseDC(window, screen);
    if (!g_composite) {
        release_picture();
        return -1;
    }

    SendMessageA(g_toolbar, TB_SETSTATE, IDM_SCOPE, TBSTATE_CHECKED | TBSTATE_ENABLED);
    set_view_flags(view_flags() | kScopeMode);
    SendMessageA(g_toolbar, TB_SETSTATE, IDM_NOTE, TBSTATE_CHECKED | TBSTATE_ENABLED);
    set_view_flags(view_flags() | kNoteMode);
    SendMessageA(g_toolbar, TB_SETSTATE, IDM_BASS_ZOOM, TBSTATE_INDETERMINATE);
    if (!find_mixer())
        SendMessageA(g_toolbar, TB_SETSTATE, IDM_MIXER, TBSTATE_INDETERMINATE);

    draw_scale_strip(window, g_composite, view_flags());
    SendMessageA(window, WM_COMMAND, IDM_SIZE, 0);
    SendMessageA(g_toolbar, TB_SETSTATE, IDM_PAUSE, TBSTATE_ENABLED);
    // Capture starts once the message loop runs.
    PostMessageA(window, WM_COMMAND, IDM_PAUSE, 0);
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}

LRESULT on_size(HWND window, WPARAM wparam, LPARAM lparam) {
    SendMessageA(g_toolbar, WM_SIZE, 0, 0); // the toolbar re-fits itself along the top
    return DefWindowProcA(window, WM_SIZE, wparam, lparam);
}

void on_paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SelectPalette(dc, g_palette, FALSE);
    RealizePalette(dc);

    RECT area;
    GetClientRect(window, &area);
    area.top = g_toolbar_height;
    DrawEdge(dc, &area, EDGE_SUNKEN, BF_RECT);

    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ kept = SelectObject(memory, g_composite);
    const auto *info = reinterpret_cast<const BITMAPINFO *>(display_block());
    const unsigned char *planes = display_planes();
    if (info && planes) {
        const unsigned char *lower =
            planes + kPlaneBytes * ((view_flags() & kScopeMode) ? kScopePlane : kSpectrogramPlane);
        SetDIBitsToDevice(memory, 0, 0, kPlaneWidth, kPlaneRows, 0, 0, 0, kPlaneRows, planes, info,
                          DIB_RGB_COLORS);
        SetDIBitsToDevice(memory, 0, kLowerPaneTop, kPlaneWidth, kPlaneRows, 0, 0, 0, kPlaneRows,
                          lower, info, DIB_RGB_COLORS);
    }

    area = picture_area(window);
    // Shrinking ORs the dropped pixels in, so bright traces on black survive.
    SetStretchBltMode(dc, WHITEONBLACK);
    // A window too small to hold anything inside the edge shows nothing.
    if (area.right > area.left && area.bottom > area.top)
        StretchBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory,
                   0, 0, kPictureWidth, kPictureHeight, SRCCOPY);
    SelectObject(memory, kept);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

LRESULT on_query_new_palette(HWND window) {
    HDC dc = GetDC(window);
    SelectPalette(dc, g_palette, FALSE);
    if (RealizePalette(dc))
        InvalidateRect(window, nullptr, TRUE);
    ReleaseDC(window, dc);
    return TRUE;
}

void on_palette_changed(HWND window, WPARAM changer) {
    if (reinterpret_cast<HWND>(changer) == window)
        return;
    HDC dc = GetDC(window);
    SelectPalette(dc, g_palette, FALSE);
    if (RealizePalette(dc))
        UpdateColors(dc);
    ReleaseDC(window, dc);
}

LRESULT on_command(HWND window, WPARAM wparam, LPARAM lparam) {
    if (run_command(window, LOWORD(wparam)) || run_picture_command(window, LOWORD(wparam)))
        return 0;
    return DefWindowProcA(window, WM_COMMAND, wparam, lparam);
}

// A buffer that cannot go back to the device stops capture; the pause button then shows
// the paused state, so that one click starts capture again.
LRESULT on_block_message(HWND window, WPARAM run, LPARAM header) {
    const bool was_capturing = capture_running();
    const LRESULT result = on_block_arrived(window, static_cast<std::uintptr_t>(run),
                                            reinterpret_cast<WaveHeader *>(header));
    if (was_capturing && !capture_running())
        show_paused();
    readout_refresh(window);
    return result;
}

void on_destroy() {
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    release_picture();
    PostQuitMessage(0);
}

} // namespace

HWND toolbar_window() { return g_toolbar; }
void show_paused() {
    SendMessageA(g_toolbar, TB_SETSTATE, IDM_PAUSE, TBSTATE_CHECKED | TBSTATE_ENABLED);
}
int toolbar_height() { return g_toolbar_height; }
RECT picture_area(HWND window) {
    RECT area;
    GetClientRect(window, &area);
    InflateRect(&area, -2 * GetSystemMetrics(SM_CXBORDER), -2 * GetSystemMetrics(SM_CYBORDER));
    area.top += g_toolbar_height;
    return area;
}
HBITMAP composite_bitmap() { return g_composite; }

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // One line per message; the handlers are above.
    // clang-format off
    switch (message) {
    case WM_CREATE: return on_create(window);
    case WM_SIZE: return on_size(window, wparam, lparam);
    case WM_PAINT: on_paint(window); return 0;
    case WM_COMMAND: return on_command(window, wparam, lparam);
    case WM_CONTEXTMENU: return show_picture_menu(window, wparam, lparam);
    case WM_MOUSEMOVE: readout_follow_pointer(window, lparam); return 0;
    case WM_MOUSELEAVE: readout_pointer_left(); return 0;
    case WM_KEYDOWN: return picture_key_down(window, wparam, lparam);
    case WM_QUERYNEWPALETTE: return on_query_new_palette(window);
    case WM_PALETTECHANGED: on_palette_changed(window, wparam); return 0;
    case WM_USER: return on_block_message(window, wparam, lparam);
    case WM_DESTROY: on_destroy(); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
    // clang-format on
}
