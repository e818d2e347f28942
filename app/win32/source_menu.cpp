// The picture's menu: what the program records from, then saving and copying the picture.
#include "shell.h"

#include "app/commands.h"
#include "capture/capture.h"
#include "capture/sound_sources.h"

#include <windowsx.h>

namespace {

// A device's name as the menu shows it: an ampersand is no shortcut marker there.
std::wstring menu_text(const std::string &name) {
    std::wstring text;
    for (const wchar_t c : utf16(name)) {
        text += c;
        if (c == L'&')
            text += L'&';
    }
    return text;
}

// Records from `name` from now on. A device cannot be moved while it records: a running
// recording is closed and opened again on the new source, keeping the picture, the history
// and the pause button as they are. While paused the choice waits for the next start.
void switch_source(HWND window, const std::string &name) {
    const bool recording = capture_running();
    if (recording)
        stop_capture();
    choose_source(name);
    if (recording)
        resume_capture(window);
}

// Where the menu opens, in screen coordinates: at the click, or from the keyboard (-1, -1)
// near the picture's top left corner. False for a click outside the picture.
bool menu_position(HWND window, LPARAM position, POINT *at) {
    const RECT picture = picture_area(window);
    *at = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (at->x == -1 && at->y == -1) {
        *at = {picture.left + 8, picture.top + 8};
        ClientToScreen(window, at);
        return true;
    }
    POINT inside = *at;
    ScreenToClient(window, &inside);
    return PtInRect(&picture, inside) != FALSE;
}

} // namespace

LRESULT show_picture_menu(HWND window, WPARAM wparam, LPARAM position) {
    POINT at;
    if (!menu_position(window, position, &at))
        return DefWindowProcA(window, WM_CONTEXTMENU, wparam, position);
    // The sources are read now; entry IDM_SOURCE_FIRST + 1 + i is source i.
    const SourceChoices choices = read_source_choices();
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return 0;
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, utf16(SONAVEX_MENU_RECORD_FROM).c_str());
    AppendMenuW(menu, MF_STRING, IDM_SOURCE_FIRST, utf16(SONAVEX_MENU_DEFAULT_INPUT).c_str());
    // A chosen device that has gone shows no mark: the next start cannot record from it.
    UINT checked = choices.checked.empty() ? IDM_SOURCE_FIRST : 0;
    const UINT last = IDM_SOURCE_FIRST + static_cast<UINT>(choices.sources.size());
    for (UINT command = IDM_SOURCE_FIRST + 1; command <= last; ++command) {
        const SoundSource &source = choices.sources[command - IDM_SOURCE_FIRST - 1];
        const std::wstring text = source.name == kWhatPlaysSource ? utf16(SONAVEX_MENU_WHAT_PLAYS)
                                                                  : menu_text(source.description);
        AppendMenuW(menu, MF_STRING, command, text.c_str());
        if (!choices.checked.empty() && source.name == choices.checked)
            checked = command;
    }
    if (checked)
        CheckMenuRadioItem(menu, IDM_SOURCE_FIRST, last, checked, MF_BYCOMMAND);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_SAVE_PICTURE, utf16(SONAVEX_MENU_SAVE_PICTURE).c_str());
    AppendMenuW(menu, MF_STRING, IDM_COPY_PICTURE, utf16(SONAVEX_MENU_COPY_PICTURE).c_str());

    // The menu's own loop still dispatches the block messages: the picture keeps moving.
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu,                            // the menu
                       TPM_RETURNCMD | TPM_RIGHTBUTTON, // the entry chosen comes back here
                       at.x, at.y,                      // where, on the screen
                       0,                               // reserved
                       window,                          // owner
                       nullptr));                       // ignored
    DestroyMenu(menu);
    if (command == IDM_SAVE_PICTURE || command == IDM_COPY_PICTURE)
        SendMessageW(window, WM_COMMAND, command, 0);
    else if (command == IDM_SOURCE_FIRST)
        switch_source(window, std::string());
    else if (command > IDM_SOURCE_FIRST && command <= last)
        switch_source(window, choices.sources[command - IDM_SOURCE_FIRST - 1].name);
    return 0;
}
