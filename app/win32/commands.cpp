#include "resource.h"
#include "shell.h"

#include "capture/capture.h"
#include "engine/display.h"
#include "engine/frame.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {

bool g_double_size = true; // the creation's own size command turns it false: 1x

// The recording-level controls, in order of preference: the classic recording mixer, and,
// on every Windows since Vista where it no longer exists, the Sound control panel on its
// Recording tab, where the input device and its level are chosen. Both are looked for in the
// system folder only: by bare name the shell would also take a program of that name lying
// beside sonavex.exe (a Downloads folder) or in the working folder, and start it.
struct Mixer {
    const char *program;
    const char *parameters;
};
const Mixer kMixers[] = {
    {"SNDVOL32.EXE", "/RECORD"},
    {"control.exe", "mmsys.cpl,,1"},
};
const Mixer *g_mixer = &kMixers[0];    // the one find_mixer found
char g_mixer_path[MAX_PATH + 16] = {}; // its full path in the system folder

// Check buttons toggle themselves before their command arrives; the new state is the input.
bool pressed(int command) {
    return SendMessageA(toolbar_window(), TB_GETSTATE, command, 0) & TBSTATE_CHECKED;
}

void on_topmost(HWND window) {
    const bool on = pressed(IDM_TOPMOST);
    SendMessageA(toolbar_window(), TB_CHANGEBITMAP, IDM_TOPMOST, on ? 1 : 0);
    SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetPriorityClass(GetCurrentProcess(), on ? HIGH_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
}

void on_pause(HWND window) {
    if (pressed(IDM_PAUSE)) {
        if (capture_running())
            stop_capture();
        return;
    }
    if (!capture_running())
        resume_capture(window);
}

void on_scope(HWND window) {
    const unsigned flags = view_flags() & ~kScopeMode;
    set_view_flags(pressed(IDM_SCOPE) ? flags | kScopeMode : flags);
    InvalidateRect(window, nullptr, FALSE);
}

// The bars of the old scale vanish until the next frame, the strip shows the new scale.
void redraw_scale(HWND window) {
    clear_spectrum_plane();
    draw_scale_strip(window, composite_bitmap(), view_flags());
    InvalidateRect(window, nullptr, FALSE);
}

// Bass zoom only applies to the linear scale: grey in note mode, keeping its own pressed bit.
void on_note(HWND window) {
    const auto zoom =
        static_cast<LPARAM>(SendMessageA(toolbar_window(), TB_GETSTATE, IDM_BASS_ZOOM, 0));
    const unsigned flags = view_flags() & ~kNoteMode;
    if (pressed(IDM_NOTE)) {
        set_view_flags(flags | kNoteMode);
        SendMessageA(toolbar_window(), TB_SETSTATE, IDM_BASS_ZOOM,
                     (zoom & ~TBSTATE_ENABLED) | TBSTATE_INDETERMINATE);
    } else {
        set_view_flags(flags);
        SendMessageA(toolbar_window(), TB_SETSTATE, IDM_BASS_ZOOM,
                     (zoom & ~TBSTATE_INDETERMINATE) | TBSTATE_ENABLED);
    }
    redraw_scale(window);
}

void on_bass_zoom(HWND window) {
    set_bass_zoom(pressed(IDM_BASS_ZOOM) ? 2 : 1);
    redraw_scale(window);
}

// Toggles between 1x and 2x picture size; a maximised window always comes back at 1x.
void on_size_command(HWND window) {
    g_double_size = !g_double_size;
    if (IsZoomed(window))
        g_double_size = false;
    ShowWindow(window, SW_RESTORE);
    const int m = g_double_size ? 2 : 1;
    RECT rect = {0, 0, kPictureWidth * m + 4 * GetSystemMetrics(SM_CXBORDER),
                 toolbar_height() + kPictureHeight * m + 4 * GetSystemMetrics(SM_CYBORDER)};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

// Starts the recording mixer that find_mixer found, without waiting for it.
void on_mixer() {
    ShellExecuteA(nullptr, nullptr, g_mixer_path, g_mixer->parameters, nullptr, SW_SHOWNORMAL);
}

// The wide dialog call keeps the box's Japanese caption intact on any ANSI code page.
void on_about(HWND window) {
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), window, about_dialog_proc, 0);
}

} // namespace

// No input device, or one that opens but cannot record: show the paused state, so that
// releasing the button tries again.
void resume_capture(HWND window) {
    set_capture_running(open_capture(window));
    if (capture_running())
        start_capture();
    if (!capture_running())
        show_paused();
}

bool find_mixer() {
    // A system folder whose path leaves no room for the name cannot hold the mixers.
    const UINT folder = GetSystemDirectoryA(g_mixer_path, MAX_PATH);
    if (folder == 0 || folder >= MAX_PATH)
        return false;
    auto *found_path = static_cast<char *>(GlobalAlloc(GMEM_FIXED, 1024));
    if (!found_path)
        return false;
    bool found = false;
    for (const Mixer &mixer : kMixers) {
        g_mixer_path[folder] = '\\';
        lstrcpyA(g_mixer_path + folder + 1, mixer.program);
        // FindExecutableA reports success with a value above 32; what it found is not needed.
        if (reinterpret_cast<INT_PTR>(FindExecutableA(g_mixer_path, nullptr, found_path)) > 32) {
            g_mixer = &mixer;
            found = true;
            break;
        }
    }
    GlobalFree(found_path);
    return found;
}

bool run_command(HWND window, int command) {
    // One line per command; the handlers are above.
    // clang-format off
    switch (command) {
    case IDM_TOPMOST: on_topmost(window); return true;
    case IDM_NOTE: on_note(window); return true;
    case IDM_ABOUT: on_about(window); return true;
    case IDM_SCOPE: on_scope(window); return true;
    case IDM_BASS_ZOOM: on_bass_zoom(window); return true;
    case IDM_MIXER: on_mixer(); return true;
    case IDM_SIZE: on_size_command(window); return true;
    case IDM_PAUSE: on_pause(window); return true;
    default: return false;
    }
    // clang-format on
}
