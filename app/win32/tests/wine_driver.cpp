// Drives the real sonavex.exe and checks it through its window's own messages and pixels.
//
//   sonavex_wine_driver running PATH-TO-SONAVEX.EXE   with a sound server playing 440 Hz,
//       and 880 Hz on its second virtual microphone ("SecondMic")
//   sonavex_wine_driver no-sound PATH-TO-SONAVEX.EXE  with no sound server reachable
//   sonavex_wine_driver tuner PATH-TO-SONAVEX.EXE  with a sound server playing a tone near
//       440 Hz: the readout's check alone (the script reads the text it prints)
//   sonavex_wine_driver devices   lists the recording devices once, before the others run
//   sonavex_wine_driver device-faults PATH-TO-SONAVEX_FAULTS.EXE
//       as running, with the program's 40th and 42nd buffer additions and its 4th device
//       open failing, and the second microphone unlisted from the 6th open on
//   SONAVEX_LOOPBACK=stand-in:NAME sonavex_wine_driver loopback PATH-TO-SONAVEX_FAULTS.EXE
//       recording what the computer plays from the stand-in service, which the driver moves
//       along with the events NAME.*
//   SONAVEX_LOOPBACK=system sonavex_wine_driver loopback-refused PATH-TO-SONAVEX_FAULTS.EXE
//       recording what the computer plays from Wine's own service, which refuses loopback
//   sonavex_wine_driver pictures PATH-TO-SONAVEX.EXE  with 440 Hz: "Save picture…" and
//       "Copy picture"; SONAVEX_LOCKED_FOLDER names a folder the program may not write to
//
// The recording mixer the program should find comes in SONAVEX_MIXER ("SNDVOL32.EXE",
// "control.exe" or "none"); the stand-in mixer writes what it was started as to the file
// SONAVEX_MIXER_LOG.
//
// Prints one line per check and "N passed, N failed"; exits 1 when any check failed.
#include "resource.h"
#include "sonavex_version.h"

#include "app/commands.h"

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <mmsystem.h>
#include <shlobj.h>
#include <wincodec.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

int g_passed = 0, g_failed = 0;
PROCESS_INFORMATION g_program = {};
HWND g_window = nullptr, g_toolbar = nullptr;
int g_toolbar_height = 0; // the picture lies below the toolbar, inside the sunken edge
const int g_edge_x = 2 * GetSystemMetrics(SM_CXBORDER),
          g_edge_y = 2 * GetSystemMetrics(SM_CYBORDER);
unsigned g_picture[352 * 172] = {}; // the picture at 1x as 0xRRGGBB

void check(bool ok, const char *what, const std::string &detail = "") {
    ++(ok ? g_passed : g_failed);
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what, ok ? "" : " ", ok ? "" : detail.c_str());
    std::fflush(stdout);
}

template <typename F> bool wait_for(F ready, int ms = 5000) {
    for (int waited = 0; waited < ms && !ready(); waited += 50)
        Sleep(50);
    return ready();
}

bool launch(const char *path, PROCESS_INFORMATION *process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process);
}

// The exit code, or STILL_ACTIVE when the process is still running after 15 s.
DWORD exit_code(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(process, 15000);
    return GetExitCodeProcess(process, &code) ? code : STILL_ACTIVE;
}

// UTF-8 as the wide calls take it.
std::wstring wide(const char *text) {
    std::wstring converted(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &converted[0], static_cast<int>(converted.size()));
    return converted.c_str();
}

unsigned state(int command) {
    return static_cast<unsigned>(SendMessageA(g_toolbar, TB_GETSTATE, command, 0));
}

// What a click on a check button does: the button toggles itself, then its command arrives.
void click(int command) {
    SendMessageA(g_toolbar, TB_SETSTATE, command, state(command) ^ TBSTATE_CHECKED);
    SendMessageA(g_window, WM_COMMAND, command, 0);
}

// The client area holds the toolbar, the sunken edge and the picture at m times its size.
void check_client(int m, const char *what) {
    RECT client;
    GetClientRect(g_window, &client);
    check(client.right == 352 * m + 2 * g_edge_x &&
              client.bottom == g_toolbar_height + 172 * m + 2 * g_edge_y && !IsZoomed(g_window),
          what, std::to_string(client.right) + "x" + std::to_string(client.bottom));
}

unsigned at(int x, int y) { return g_picture[y * 352 + x]; }

// The window's own pixels of the picture at m times its size (what GetPixel reads, in one
// go), as 0xRRGGBB top-down.
void grab(unsigned *pixels = g_picture, int m = 1) {
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 352 * m, -172 * m, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
                       {}};
    HDC window_dc = GetDC(g_window), memory = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = CreateCompatibleBitmap(window_dc, 352 * m, 172 * m);
    SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 352 * m, 172 * m, window_dc, g_edge_x, g_toolbar_height + g_edge_y,
           SRCCOPY);
    DeleteDC(memory);
    GetDIBits(window_dc, bitmap, 0, 172 * m, pixels, &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    ReleaseDC(g_window, window_dc);
    for (int i = 0; i < 352 * 172 * m * m; ++i)
        pixels[i] &= 0xFFFFFF;
}

// The tallest of the 88 bars (the middle one of equally tall neighbours), or -1 when none.
int tallest_bar() {
    grab();
    int heights[88] = {};
    for (int bar = 0; bar < 88; ++bar)
        while (heights[bar] < 80 && at(4 * bar + 1, 79 - heights[bar]) != 0)
            ++heights[bar];
    int *top = std::max_element(heights, heights + 88);
    int *end = std::find_if(top, heights + 88, [&](int height) { return height != *top; });
    return *top ? static_cast<int>((top - heights) + (end - 1 - heights)) / 2 : -1;
}

// Moves the pointer as the mouse does, through the system's input.
void move_pointer(POINT to) {
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(to.x, 65536, GetSystemMetrics(SM_CXSCREEN));
    move.mi.dy = MulDiv(to.y, 65536, GetSystemMetrics(SM_CYSCREEN));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof(INPUT));
}

// How the menu is opened: as by a right click on the picture, the menu key, or Shift+F10.
enum class Opening { Click, MenuKey, ShiftF10 };

// Presses and releases `keys` in order, then releases them in reverse, through the system's
// input: the program must be the foreground window.
void type(std::initializer_list<WORD> keys) {
    SetForegroundWindow(g_window);
    wait_for([] { return GetForegroundWindow() == g_window; }, 2000);
    INPUT inputs[8] = {};
    UINT count = 0;
    for (WORD key : keys)
        inputs[count].type = INPUT_KEYBOARD, inputs[count++].ki.wVk = key;
    for (auto key = keys.end(); key != keys.begin();) {
        inputs[count].type = INPUT_KEYBOARD, inputs[count].ki.wVk = *--key;
        inputs[count++].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(count, inputs, sizeof(INPUT));
}

// Opens the picture's menu and takes its entry `entry` (0 the grey "Record from" heading,
// 1 "Default input", then the devices in the system's order) with the arrow keys. The
// menu's texts live in the program's process, out of this one's reach: the entry is found
// by the device's place in the system's list, which both processes read alike.
bool choose_entry(int entry, Opening opening = Opening::Click) {
    POINT at = {g_edge_x + 100, g_toolbar_height + g_edge_y + 60};
    ClientToScreen(g_window, &at);
    if (opening == Opening::MenuKey)
        type({VK_APPS});
    else if (opening == Opening::ShiftF10)
        type({VK_SHIFT, VK_F10});
    else
        PostMessageA(g_window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(g_window),
                     MAKELPARAM(at.x, at.y));
    HWND menu = nullptr;
    if (!wait_for([&] { return IsWindowVisible(menu = FindWindowA("#32768", nullptr)); }, 3000))
        return false;
    for (int i = 0; i <= entry; ++i)
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    return wait_for([&] { return !IsWindowVisible(menu); }, 3000);
}

// The menu entry of the second virtual microphone, or -1 when the system does not list it.
// The program lists the devices in the order the system gives this process too.
int second_mic_entry() {
    for (UINT id = 0, count = waveInGetNumDevs(); id < count; ++id) {
        WAVEINCAPSW caps = {};
        if (waveInGetDevCapsW(id, &caps, sizeof(caps)) == 0 &&
            std::wstring(caps.szPname) == L"SecondMic")
            return static_cast<int>(id) + 2;
    }
    return -1;
}

// Waits at most `ms` for the tallest bar to be `bar`; the bar seen last and when into *seen.
bool bar_within(int bar, int ms, std::string *seen) {
    const DWORD start = GetTickCount();
    int tallest = -1;
    const bool found = wait_for([&] { return (tallest = tallest_bar()) == bar; }, ms);
    *seen = "tallest bar " + std::to_string(tallest) + " after " +
            std::to_string(GetTickCount() - start) + " ms";
    return found;
}

// The strip in note mode: A0 yellow, A#0 dark grey, C1 white, the gap after a key black.
bool keyboard_shown() {
    grab();
    return at(1, 85) == 0xFFFF00 && at(5, 85) == 0x404040 && at(13, 85) == 0xFFFFFF &&
           at(3, 85) == 0 && at(349, 85) == 0xFFFF00;
}

// The strip in Hz mode: light grey ground with black text.
bool labels_shown() {
    grab();
    const auto text = std::count(g_picture + 80 * 352, g_picture + 92 * 352, 0u);
    return at(100, 81) == 0xC0C0C0 && at(250, 90) == 0xC0C0C0 && text > 20;
}

std::string env(const char *name) { return std::getenv(name) ? std::getenv(name) : ""; }

// The mixer button is grey exactly when no mixer is there; otherwise its command starts the
// one expected, with its parameters, and returns without waiting for it to end.
void check_mixer() {
    std::string expected = env("SONAVEX_MIXER"), log = env("SONAVEX_MIXER_LOG");
    CharLowerA(expected.data());
    if (expected == "none") {
        check(state(IDM_MIXER) == TBSTATE_INDETERMINATE, "no recording mixer: mixer button grey");
        return;
    }
    const std::string parameters = expected == "sndvol32.exe" ? " /record" : " mmsys.cpl,,1";
    DeleteFileA(log.c_str());
    const DWORD before = GetTickCount();
    SendMessageA(g_window, WM_COMMAND, IDM_MIXER, 0);
    const DWORD took = GetTickCount() - before;
    std::string started; // the first line the stand-in wrote
    wait_for([&] { return static_cast<bool>(std::getline(std::ifstream(log), started)); });
    CharLowerA(started.data());
    check(state(IDM_MIXER) == TBSTATE_ENABLED && took < 5000 &&
              started.rfind(expected + "|", 0) == 0 &&
              started.find(parameters) != std::string::npos,
          ("mixer button enabled; its command starts " + expected + parameters + " without waiting")
              .c_str(),
          "state " + std::to_string(state(IDM_MIXER)) + ", " + std::to_string(took) +
              " ms, started: " + started);
}

// The version numbers Explorer's Properties show, as Windows reads them from the resource
// (check-release.sh finds its texts in the file).
void check_version(const char *path) {
    DWORD ignored = 0;
    std::string data(GetFileVersionInfoSizeA(path, &ignored), '\0');
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    const DWORD expected = (SONAVEX_VERSION_MAJOR << 16) | SONAVEX_VERSION_MINOR;
    check(!data.empty() && GetFileVersionInfoA(path, 0, data.size(), data.data()) &&
              VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) &&
              fixed->dwFileVersionMS == expected && fixed->dwProductVersionMS == expected,
          "version resource: file and product version " SONAVEX_VERSION_STRING);
}

// The states left to right: 4 released, 5 pressed, 16 grey.
void check_initial_states() {
    std::string states = std::to_string(SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0)) + ":";
    for (int command :
         {IDM_TOPMOST, IDM_PAUSE, IDM_SCOPE, IDM_NOTE, IDM_BASS_ZOOM, IDM_SIZE, IDM_ABOUT})
        states += " " + std::to_string(state(command));
    check(states == "10: 4 4 5 5 16 4 4",
          "ten toolbar entries; all released but scope and note, bass zoom grey", states);
}

// "Record from": the second microphone (880 Hz) and back to the default input (440 Hz),
// while recording and while paused.
void check_record_from() {
    const int second = second_mic_entry();
    std::string seen;
    check(second > 0 && choose_entry(second) && bar_within(60, 500, &seen),
          "Record from: the second microphone moves the tallest bar from 48 to 60", seen);
    check(choose_entry(1, Opening::MenuKey) && bar_within(48, 500, &seen),
          "the menu key opens the menu too; Default input brings bar 48 back", seen);
    click(IDM_PAUSE);
    const bool chosen = second > 0 && choose_entry(second, Opening::ShiftF10);
    Sleep(300);
    const bool still = state(IDM_PAUSE) == 5 && tallest_bar() == 48;
    click(IDM_PAUSE);
    check(chosen && still && bar_within(60, 1500, &seen),
          "chosen while paused (Shift+F10), the second microphone is recorded on release", seen);
    check(choose_entry(1) && bar_within(48, 1000, &seen), "Default input again: bar 48", seen);
}

// The text of a visible tooltip of the program's thread into *found (a std::wstring).
// GetWindowTextW would read another process's window title, not ask the tooltip.
BOOL CALLBACK shown_tip(HWND tip, LPARAM found) {
    wchar_t name[32] = {}, shown[80] = {};
    GetClassNameW(tip, name, 32);
    if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(tip) &&
        SendMessageW(tip, WM_GETTEXT, 80, reinterpret_cast<LPARAM>(shown)) > 0)
        *reinterpret_cast<std::wstring *>(found) = shown;
    return TRUE;
}

// The readout's text: the only tooltip that shows while the pointer is off the toolbar.
std::wstring readout_shown() {
    std::wstring text;
    EnumThreadWindows(g_program.dwThreadId, shown_tip, reinterpret_cast<LPARAM>(&text));
    return text;
}

// The readout follows the real pointer while a window of this process is the active one.
void check_readout() {
    HWND other = CreateWindowExA(0, "STATIC", "driver", WS_POPUP | WS_VISIBLE, 700, 600, 80, 40,
                                 nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    std::wstring text;
    // Waits until the text holds `part` (or is `part`). The pointer is moved there at every
    // look: a move lost while the other window becomes active is made again.
    auto point_at = [&](int y, const wchar_t *part, bool whole = false) {
        POINT at = {g_edge_x + 4 * 48 + 1, g_toolbar_height + g_edge_y + y};
        ClientToScreen(g_window, &at);
        return wait_for([&] {
            move_pointer(at);
            text = readout_shown();
            return whole ? text == part : text.find(part) != text.npos;
        });
    };
    // Over bar 48 once the history holds only the tone: a peak shows.
    const bool band = point_at(40, L", peak 4") && text.rfind(L"A4 440.0 Hz, ", 0) == 0;
    const std::wstring first = text;
    std::printf("readout 48: %ls\n", first.c_str());
    const bool key = point_at(85, L"A4", true);
    check(band && key && GetForegroundWindow() == other,
          "readout in a tooltip while another window is active: A4 440.0 Hz and its level over "
          "bar 48, the key's name over the keyboard",
          std::string(first.begin(), first.end()) + " | " + std::string(text.begin(), text.end()));
    // Away from the program's window, on the screen's far corner.
    move_pointer({GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1});
    DestroyWindow(other);
    SetForegroundWindow(g_window); // as the About box's check expects
    wait_for([] { return GetForegroundWindow() == g_window; });
}

void run_with_sound(const char *path) {
    check_initial_states();
    check_version(path);

    // Capture starts from a command posted at creation, after the size command. Quick pauses
    // and resumes leave each stopped run's blocks to arrive during the next: capture runs on.
    int seen = -1;
    auto bar_48 = [&] { return wait_for([&] { return (seen = tallest_bar()) == 48; }, 10000); };
    const bool first = bar_48();
    check_mixer();
    check_client(1, "client area at 1x");
    for (int i = 0; i < 6; ++i)
        click(IDM_PAUSE);

    click(IDM_NOTE); // a scale change clears the bars until the next frame
    check(state(IDM_BASS_ZOOM) == TBSTATE_ENABLED && wait_for(labels_shown, 2000),
          "note off enables bass zoom and shows the Hz labels");
    click(IDM_BASS_ZOOM);
    click(IDM_NOTE);
    check(state(IDM_BASS_ZOOM) == (TBSTATE_INDETERMINATE | TBSTATE_CHECKED) &&
              wait_for(keyboard_shown, 2000),
          "note on greys bass zoom, keeping it pressed, and shows the keyboard");
    const bool again = first && bar_48();
    check(again, "440 Hz: the tallest bar is bar 48, also after quick pauses",
          "tallest bar " + std::to_string(seen));
    check_record_from();
    check_readout();

    SendMessageA(g_window, WM_COMMAND, IDM_SIZE, 0);
    check_client(2, "size command gives 2x");
    SendMessageA(g_window, WM_COMMAND, IDM_SIZE, 0); // back to 1x, then maximised
    ShowWindow(g_window, SW_MAXIMIZE);
    SendMessageA(g_window, WM_COMMAND, IDM_SIZE, 0);
    check_client(1, "size command on a maximised window gives 1x");

    PROCESS_INFORMATION second = {};
    const DWORD code = launch(path, &second) ? exit_code(second.hProcess) : STILL_ACTIVE;
    check(code == 0 && FindWindowA("SonavexWnd", "Sonavex") == g_window &&
              !FindWindowExA(nullptr, g_window, "SonavexWnd", "Sonavex"),
          "a second copy exits 0 without a second window", "exit " + std::to_string(code));

    // The tooltip control loads its texts from the string table as UTF-16: as compiled, they
    // are the shared texts the Linux program shows.
    HMODULE resources = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string differing;
    for (const ToolbarButton &button : kToolbarButtons) {
        wchar_t tip[32] = {};
        if (button.kind != ButtonKind::Separator &&
            !(LoadStringW(resources, button.command, tip, 32) && tip == wide(button.tip)))
            differing += " " + std::to_string(button.command);
    }
    check(differing.empty(), "the tooltip texts are the shared Japanese ones", differing);

    // The box is modal (a send would block); it exists before its controls and its focus.
    PostMessageA(g_window, WM_COMMAND, IDM_ABOUT, 0);
    HWND about = nullptr;
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    const bool focused = wait_for([&] {
        about = FindWindowW(L"#32770", wide(kAboutCaption).c_str());
        return IsWindowVisible(about) && GetGUIThreadInfo(g_program.dwThreadId, &thread) &&
               thread.hwndFocus == GetDlgItem(about, IDOK);
    });
    check(about && focused, "About box opens with its Japanese caption and the focus on OK");
    // Its controls in order: OK, icon, name and version, the link, the four credit lines.
    std::wstring shown, wanted = L"|" + wide(kHomePage);
    for (const char *credit : kCredits)
        wanted += L"|" + wide(credit);
    int controls = 0;
    for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[80] = {};
        GetWindowTextW(child, text, 80);
        shown += ++controls > 3 ? L"|" + std::wstring(text) : L"";
    }
    check(controls == 8 && shown == wanted, "About box shows the shared address and credit lines",
          std::to_string(controls) + " controls");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    check(about && wait_for([&] { return !IsWindow(about); }), "OK closes the About box");
}

// The device fails while recording (a buffer cannot go back), then once more while capture
// starts again after a successful open; each time the pause button shows pressed, and one
// click starts capture again.
void run_with_device_faults() {
    check_mixer();
    const bool stopped = wait_for([] { return state(IDM_PAUSE) == 5; }, 15000);
    click(IDM_NOTE); // bars cleared: none come back while capture is off
    click(IDM_NOTE);
    check(stopped && wait_for([] { return UpdateWindow(g_window) && tallest_bar() == -1; }),
          "a buffer the device refuses stops capture and presses the pause button");
    click(IDM_PAUSE);
    check(state(IDM_PAUSE) == 5 && tallest_bar() == -1,
          "capture that opens but cannot start leaves the pause button pressed");
    click(IDM_PAUSE);
    int seen = -1;
    const bool back = wait_for([&] { return (seen = tallest_bar()) == 48; }, 10000);
    check(back && state(IDM_PAUSE) == TBSTATE_ENABLED, "one click starts capture again",
          "tallest bar " + std::to_string(seen) + ", pause " + std::to_string(state(IDM_PAUSE)));
    // The fourth open fails: the one that switches to the chosen microphone.
    const int second = second_mic_entry();
    check(second > 0 && choose_entry(second) && wait_for([] { return state(IDM_PAUSE) == 5; }) &&
              tallest_bar() == 48,
          "a chosen device that fails to open presses the pause button, keeping the picture");
    click(IDM_PAUSE);
    std::string took;
    check(bar_within(60, 1000, &took), "one click opens the chosen device again", took);
    // From the sixth open on the microphone is no longer listed.
    click(IDM_PAUSE);
    click(IDM_PAUSE);
    const bool failed = state(IDM_PAUSE) == 5;
    click(IDM_PAUSE);
    check(failed && bar_within(48, 1000, &took),
          "a chosen device no longer listed fails the start; the retry records the default input",
          took);
}

// What the computer plays, from the stand-in service: its tone, its silence, the output it
// switches to and the output that goes away, each moved along by one of its events (made by
// the stand-in when it was registered).
void run_loopback(const std::string &events) {
    auto bar = [](int wanted, const char *what) {
        int seen = -2; // the detail is made after the wait, not in the same call
        const bool shown = wait_for([&] { return (seen = tallest_bar()) == wanted; }, 10000);
        check(shown && state(IDM_PAUSE) == TBSTATE_ENABLED, what,
              "tallest bar " + std::to_string(seen));
    };
    bar(48, "440 Hz played at 48 kHz float stereo shows on bar 48");
    for (int i = 0; i < 6; ++i) // each pause closes the device, each release opens it anew
        click(IDM_PAUSE);
    SetEvent(CreateEventA(nullptr, TRUE, FALSE, (events + ".gap").c_str()));
    bar(-1, "after quick pauses, while no packets come, blocks of silence do: the bars fall");
    SetEvent(CreateEventA(nullptr, TRUE, FALSE, (events + ".switch").c_str()));
    bar(60, "a new default output at 44.1 kHz 16-bit playing 880 Hz: bar 60");
    SetEvent(CreateEventA(nullptr, TRUE, FALSE, (events + ".invalidate").c_str()));
    check(wait_for([] { return state(IDM_PAUSE) == 5; }, 10000),
          "an output that goes away stops capture and presses the pause button");
}

void run_without_sound(const char *what = "no sound server") {
    check_mixer();
    const bool paused = wait_for([] { return (state(IDM_PAUSE) & TBSTATE_CHECKED) != 0; });
    const bool black = wait_for([] {
        UpdateWindow(g_window);
        const bool strip = keyboard_shown();
        std::fill(g_picture + 80 * 352, g_picture + 92 * 352, 0u); // all but the strip is black
        return strip && std::count(g_picture, g_picture + 352 * 172, 0u) == 352 * 172;
    });
    check(paused && black,
          (std::string(what) + ": pause pressed, picture black but the strip").c_str());
}

using Pixels = std::vector<unsigned>; // 0xRRGGBB, top-down

// Rows of 24-bit blue, green, red pixels, `stride` bytes apart from the top row at `top`, as
// pixels; none unless they hold the picture at m times its size.
Pixels from_bgr(const unsigned char *top, UINT width, UINT height, int stride, int m) {
    Pixels pixels;
    for (UINT y = 0; width == 352u * m && height == 172u * m && y < height; ++y)
        for (const unsigned char *p = top + std::ptrdiff_t{stride} * y, *end = p + 3 * width;
             p < end; p += 3)
            pixels.push_back(p[2] << 16 | p[1] << 8 | p[0]);
    return pixels;
}

// A PNG file as the system's decoder reads it: 24 bits, as the program writes it.
Pixels png_pixels(const std::wstring &path, int m) {
    IWICImagingFactory *factory = nullptr;
    IWICBitmapDecoder *decoder = nullptr;
    IWICBitmapFrameDecode *frame = nullptr;
    GUID container = {};
    UINT width = 0, height = 0;
    std::vector<unsigned char> bytes;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetContainerFormat(&container)) &&
        IsEqualGUID(container, GUID_ContainerFormatPng) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height))) {
        bytes.resize(std::size_t{3} * width * height);
        frame->CopyPixels(nullptr, 3 * width, bytes.size(), bytes.data()); // else zeros: black
    }
    for (IUnknown *object : std::initializer_list<IUnknown *>{frame, decoder, factory})
        if (object)
            object->Release();
    return from_bgr(bytes.data(), width, height, 3 * width, m);
}

// The device-independent bitmap on the clipboard, as the program puts it there: 24 bits,
// rows bottom-up.
Pixels clipboard_pixels(int m) {
    Pixels pixels;
    HANDLE data = OpenClipboard(nullptr) ? GetClipboardData(CF_DIB) : nullptr;
    const auto *header = data ? static_cast<const BITMAPINFOHEADER *>(GlobalLock(data)) : nullptr;
    if (header && header->biCompression == BI_RGB && header->biBitCount == 24) {
        const int stride = (header->biWidth * 3 + 3) & ~3;
        const auto *bits = reinterpret_cast<const unsigned char *>(header) + header->biSize;
        pixels = from_bgr(bits + std::ptrdiff_t{stride} * (header->biHeight - 1), header->biWidth,
                          header->biHeight, -stride, m);
    }
    GlobalUnlock(data); // harmless when nothing was locked
    CloseClipboard();
    return pixels;
}

// Ctrl+S or Ctrl+C as the keyboard gives them, to the program's window in front.
void press_control(WORD key) {
    SetForegroundWindow(g_window);
    INPUT keys[4] = {}; // Ctrl down, the key down, the key up, Ctrl up
    for (int i = 0; i < 4; ++i)
        keys[i].type = INPUT_KEYBOARD, keys[i].ki.wVk = i % 3 ? key : VK_CONTROL,
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    SendInput(4, keys, sizeof(INPUT));
}

// The program's window titled "Save picture" (no other makes one): its save dialog, or once
// that is gone the message box of a failure.
HWND save_window() {
    HWND found = nullptr;
    wait_for([&] { return IsWindowVisible(found = FindWindowW(L"#32770", L"Save picture")); });
    return found;
}

// Ctrl+S, then in the real dialog a path typed over the proposed name (none: the proposed
// one) and OK, or Cancel. Returns the dialog, gone by now unless it stayed open.
HWND save_through_dialog(const std::wstring &path, int button = IDOK) {
    press_control('S');
    HWND dialog = save_window();
    HWND name = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
    if (!path.empty())
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, button, 0);
    wait_for([&] { return !IsWindow(dialog); });
    SendMessageA(g_window, WM_NULL, 0, 0); // answered once the command has run (or is modal)
    return dialog;
}

// The name of the first file that `pattern` (a path with wildcards) finds; empty if none.
std::wstring first_file(const std::wstring &pattern) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return L"";
    FindClose(search);
    return found.cFileName;
}

// Paused, at 1x and at 2x: the proposed name in My Pictures, a typed name, and the
// clipboard each hold the window's own pixels; Cancel writes nothing; a folder the program
// may not write to brings a message box and keeps no file, not even a partial one.
void run_pictures() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t folder[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, folder);
    const std::wstring pictures = std::wstring(folder) + L"\\";
    wait_for([] { return tallest_bar() == 48; }, 10000);
    click(IDM_PAUSE);
    // My Pictures is the test's own: only the program saves "Sonavex *.png" there.
    const std::wstring proposed = pictures + L"Sonavex *.png";
    for (int m = 1; m <= 2; ++m) {
        if (m == 2)
            SendMessageA(g_window, WM_COMMAND, IDM_SIZE, 0);
        std::wstring saved;
        save_through_dialog(L"");
        wait_for([&] { return !(saved = first_file(proposed)).empty(); });
        const std::wstring typed = pictures + L"typed " + std::to_wstring(m) + L".png";
        save_through_dialog(typed); // written before the copy below is handled
        press_control('C');
        // Another process's drawing reaches the screen once Wine flushes it, later under load:
        // the window is read until it shows the saved picture, or the wait ends.
        const Pixels file = saved.size() == 31 ? png_pixels(pictures + saved, m) : Pixels();
        Pixels shown(352 * 172 * m * m), copied;
        wait_for([&] { return grab(shown.data(), m), shown == file; }); // name: date, time
        wait_for([&] { return (copied = clipboard_pixels(m)) == shown; });
        const std::string why = // which differ from the window's pixels
            std::string(file == shown ? "" : " proposed") +
            (png_pixels(typed, m) == shown ? "" : " typed") + (copied == shown ? "" : " clipboard");
        check(why.empty(), m == 1 ? "Ctrl+S, typed name, Ctrl+C at 1x" : "the same at 2x", why);
        DeleteFileW((pictures + saved).c_str()); // the next round's name may be the same
        DeleteFileW(typed.c_str());
    }

    HWND dialog = save_through_dialog(L"", IDCANCEL);
    check(dialog && !IsWindow(dialog) && first_file(proposed).empty() &&
              IsWindowEnabled(g_window), // no message box holds the window
          "Cancel closes the dialog and writes nothing");

    const std::wstring locked = wide(env("SONAVEX_LOCKED_FOLDER").c_str());
    dialog = save_through_dialog(locked + L"\\picture.png");
    HWND box = dialog ? save_window() : nullptr;
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    check(box && std::wstring(text).find(L"could not be saved") != std::wstring::npos &&
              first_file(locked + L"\\*.png").empty() && first_file(locked + L"\\*.tmp").empty(),
          "a read-only folder: a message box says so and no file is left there");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    wait_for([&] { return !IsWindow(box); });
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc == 3 ? argv[1] : "";
    // The first processes of a prefix number the recording devices in the sound server's
    // order, the later ones in the order the first left in the registry: listing them once
    // before the others makes the program and this driver agree.
    if (argc == 2 && std::string(argv[1]) == "devices")
        return second_mic_entry() > 0 ? 0 : 1;
    // Another program's window with the same title must not pass for a running copy.
    CreateWindowExA(0, "STATIC", "Sonavex", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                    nullptr);
    auto shown = [] { return IsWindowVisible(g_window = FindWindowA("SonavexWnd", "Sonavex")); };
    check(argc == 3 && launch(argv[2], &g_program) && wait_for(shown, 30000),
          "the program starts and shows its window");
    RECT toolbar = {};
    GetWindowRect(g_toolbar = FindWindowExA(g_window, nullptr, TOOLBARCLASSNAMEA, nullptr),
                  &toolbar);
    g_toolbar_height = toolbar.bottom - toolbar.top;
    if (g_failed == 0) {
        if (mode == "running")
            run_with_sound(argv[2]);
        else if (mode == "device-faults")
            run_with_device_faults();
        else if (mode == "tuner") // once the tone's frames show; the script reads "readout 48:"
            wait_for([] { return tallest_bar() == 48; }, 10000), check_readout();
        else if (mode == "loopback")
            run_loopback(env("SONAVEX_LOOPBACK").substr(9)); // after "stand-in:"
        else if (mode == "loopback-refused")
            run_without_sound("loopback refused by the system"); // a failed open
        else if (mode == "pictures")
            run_pictures();
        else
            run_without_sound();
        PostMessageA(g_window, WM_CLOSE, 0, 0);
        const DWORD code = exit_code(g_program.hProcess);
        check(code == 0, "WM_CLOSE ends the process with exit code 0",
              "exit " + std::to_string(code));
    }
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
