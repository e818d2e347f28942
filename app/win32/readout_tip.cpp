// The readout under the pointer: the band it rests on and its level, in a tracking tooltip
// beside the pointer. The window places it itself, so it shows whether or not the window is
// active: an analyser kept on top seldom has the focus.
#include "shell.h"

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/readout.h"

#include <commctrl.h>
#include <windowsx.h>

namespace {

// The readout's state. Window thread only.
HWND g_tip = nullptr;  // the tooltip control; null when it could not be made
TOOLINFOW g_tool = {}; // its one tool, the main window
POINT g_pointer = {};  // the client point it is shown for
bool g_shown = false;  // whether it shows now
std::wstring g_text;   // what it shows

// What the picture shows at a client point, as the engine says it; nothing outside the picture.
std::wstring readout_at(HWND window, POINT point) {
    const RECT area = picture_area(window);
    if (!PtInRect(&area, point))
        return std::wstring();
    // The picture pixel the stretch shows there: the first of its span.
    const int x = (point.x - area.left) * kPictureWidth / (area.right - area.left);
    const int y = (point.y - area.top) * kPictureHeight / (area.bottom - area.top);
    return utf16(describe_pixel(view_flags(), bass_zoom(), x, y));
}

void hide() {
    if (g_shown)
        SendMessageW(g_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&g_tool));
    g_shown = false;
    g_text.clear();
}

// Shows `text` beside the pointer, below and right of the arrow.
void show(HWND window, const std::wstring &text) {
    if (text != g_text) {
        g_text = text;
        g_tool.lpszText = g_text.data();
        SendMessageW(g_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&g_tool));
    }
    POINT screen = g_pointer;
    ClientToScreen(window, &screen);
    SendMessageW(g_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x + 12, screen.y + 20));
    if (!g_shown) {
        SendMessageW(g_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&g_tool));
        // The window learns when the pointer leaves it (for the toolbar or another window).
        TRACKMOUSEEVENT leave = {sizeof(leave), TME_LEAVE, window, 0};
        TrackMouseEvent(&leave);
    }
    g_shown = true;
}

} // namespace

void create_readout_tip(HWND window) {
    g_tip = CreateWindowExW(WS_EX_TOPMOST,                           // over a window kept on top
                            TOOLTIPS_CLASSW,                         // class
                            nullptr,                                 // title
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, // style
                            CW_USEDEFAULT, CW_USEDEFAULT,            // position
                            CW_USEDEFAULT, CW_USEDEFAULT,            // size
                            window,                                  // owner
                            nullptr,                                 // menu
                            g_instance,                              // instance
                            nullptr);                                // creation parameter
    if (!g_tip)
        return;
    g_tool.cbSize = TTTOOLINFOW_V2_SIZE;
    // Placed by the window; the pointer's messages pass through it to the window.
    g_tool.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    g_tool.hwnd = window;
    g_tool.uId = 1;
    g_tool.lpszText = const_cast<wchar_t *>(L"");
    SendMessageW(g_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&g_tool));
}

void readout_follow_pointer(HWND window, LPARAM client_position) {
    if (!g_tip)
        return;
    g_pointer = {GET_X_LPARAM(client_position), GET_Y_LPARAM(client_position)};
    const std::wstring text = readout_at(window, g_pointer);
    if (text.empty())
        hide();
    else
        show(window, text);
}

void readout_pointer_left() { hide(); }

// A new frame changes the level under a resting pointer.
void readout_refresh(HWND window) {
    if (!g_shown)
        return;
    const std::wstring text = readout_at(window, g_pointer);
    if (text.empty())
        hide();
    else if (text != g_text)
        show(window, text);
}
