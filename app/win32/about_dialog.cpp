#include "resource.h"
#include "shell.h"

#include <shellapi.h>

namespace {

// The link button's text is the address: read back to draw it and to open it.
void link_address(HWND dialog, char (&address)[80]) {
    address[0] = '\0';
    GetDlgItemTextA(dialog, IDC_LINK, address, 79);
}

// Blue and underlined; red while the mouse button is held on it.
void draw_link(HWND dialog, const DRAWITEMSTRUCT &item) {
    char address[80];
    link_address(dialog, address);
    HDC dc = item.hDC;
    SetMapMode(dc, MM_TEXT);
    HFONT font = CreateFontA(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), // 9 points
                             0, 0, 0, 0,         // width, escapement, orientation, weight
                             FALSE, TRUE, FALSE, // italic, underline, strike-out
                             ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    HGDIOBJ kept = SelectObject(dc, font);
    const bool held = (item.itemAction & ODA_SELECT) && (item.itemState & ODS_SELECTED);
    SetTextColor(dc, held ? RGB(255, 0, 0) : RGB(0, 0, 255));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    RECT rect = item.rcItem;
    DrawTextA(dc, address, -1, &rect, DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, kept);
    DeleteObject(font);
}

void open_link(HWND dialog) {
    char address[80];
    link_address(dialog, address);
    ShellExecuteA(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
}

void on_command(HWND dialog, int command) {
    if (command == IDOK || command == IDCANCEL)
        EndDialog(dialog, command);
    else if (command == IDC_LINK)
        open_link(dialog);
}

} // namespace

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    // One line per message; the handlers are above.
    // clang-format off
    switch (message) {
    case WM_INITDIALOG: SetFocus(GetDlgItem(dialog, IDOK)); return TRUE;
    case WM_DRAWITEM: draw_link(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)); return TRUE;
    case WM_COMMAND: on_command(dialog, LOWORD(wparam)); return TRUE;
    default: return FALSE;
    }
    // clang-format on
}
