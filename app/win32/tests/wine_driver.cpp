// Drives the real sonavex.exe and checks it through its window's own messages and pixels.
//
//   sonavex_wine_driver running PATH-TO-SONAVEX.EXE   with a sound server playing 440 Hz
//   sonavex_wine_driver no-sound PATH-TO-SONAVEX.EXE  with no sound server reachable
//
// Prints one line per check and "N passed, N failed"; exits 1 when any check failed.
#include "resource.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const char *what, const std::string &detail = "") {
    if (ok) {
        ++g_passed;
        std::printf("ok   %s\n", what);
    } else {
        ++g_failed;
        std::printf("FAIL %s %s\n", what, detail.c_str());
    }
    std::fflush(stdout);
}

std::string num(long long value) { return std::to_string(value); }

// Polls `ready` every 50 ms for up to `ms` milliseconds.
template <typename F> bool wait_for(F ready, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (ready())
            return true;
        Sleep(50);
    }
    return ready();
}

struct Program {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    HWND toolbar = nullptr;
};

bool launch(const char *path, PROCESS_INFORMATION *process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string command = std::string("\"") + path + "\"";
    return CreateProcessA(path, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process);
}

// Top-level windows of the program's class and title.
std::vector<HWND> program_windows() {
    std::vector<HWND> found;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "SonavexWnd", "Sonavex")))
        found.push_back(window);
    return found;
}

bool start(const char *path, Program *program) {
    if (!launch(path, &program->process))
        return false;
    wait_for(
        [&] {
            for (HWND window : program_windows()) {
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid == program->process.dwProcessId && IsWindowVisible(window))
                    program->window = window;
            }
            return program->window != nullptr;
        },
        15000);
    if (program->window)
        program->toolbar = FindWindowExA(program->window, nullptr, TOOLBARCLASSNAMEA, nullptr);
    return program->toolbar != nullptr;
}

DWORD wait_exit(HANDLE process, int ms) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

unsigned state(const Program &program, int command) {
    return static_cast<unsigned>(SendMessageA(program.toolbar, TB_GETSTATE, command, 0));
}
bool pressed(const Program &program, int command) {
    return state(program, command) & TBSTATE_CHECKED;
}
bool grey(const Program &program, int command) {
    const unsigned s = state(program, command);
    return (s & TBSTATE_INDETERMINATE) && !(s & TBSTATE_ENABLED);
}

// What a click on a check button does: the button toggles itself, then its command arrives.
void click(const Program &program, int command) {
    SendMessageA(program.toolbar, TB_SETSTATE, command, state(program, command) ^ TBSTATE_CHECKED);
    SendMessageA(program.window, WM_COMMAND, command, 0);
}

int toolbar_height(const Program &program) {
    RECT rect;
    GetWindowRect(program.toolbar, &rect);
    return rect.bottom - rect.top;
}

// The client area that holds the toolbar, the sunken edge and the picture at m times size.
bool client_is(const Program &program, int m, std::string *detail) {
    RECT client;
    GetClientRect(program.window, &client);
    const int width = 352 * m + 4 * GetSystemMetrics(SM_CXBORDER);
    const int height = toolbar_height(program) + 172 * m + 4 * GetSystemMetrics(SM_CYBORDER);
    *detail = "client " + num(client.right) + "x" + num(client.bottom) + ", wanted " + num(width) +
              "x" + num(height);
    return client.right == width && client.bottom == height;
}

// The window's picture at 1x, read back from its screen pixels as 0xRRGGBB.
struct Picture {
    std::vector<unsigned> pixels = std::vector<unsigned>(352 * 172);
    unsigned at(int x, int y) const { return pixels[y * 352 + x]; }
};

Picture grab(const Program &program) {
    Picture picture;
    const int left = 2 * GetSystemMetrics(SM_CXBORDER);
    const int top = toolbar_height(program) + 2 * GetSystemMetrics(SM_CYBORDER);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 352;
    info.bmiHeader.biHeight = -172; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC window_dc = GetDC(program.window);
    HDC memory = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ kept = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 352, 172, window_dc, left, top, SRCCOPY);
    GdiFlush();
    const auto *source = static_cast<const unsigned *>(bits);
    for (int i = 0; i < 352 * 172; ++i)
        picture.pixels[i] = source[i] & 0xFFFFFF;
    SelectObject(memory, kept);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(program.window, window_dc);
    return picture;
}

// Bar heights, counted upward from the bottom row of the spectrum pane.
std::vector<int> bar_heights(const Picture &picture) {
    std::vector<int> heights(88);
    for (int bar = 0; bar < 88; ++bar) {
        int h = 0;
        while (h < 80 && picture.at(4 * bar + 1, 79 - h) != 0)
            ++h;
        heights[bar] = h;
    }
    return heights;
}

// The tallest bar; among equally tall neighbours, the middle one.
int tallest_bar(const Picture &picture) {
    const std::vector<int> heights = bar_heights(picture);
    int first = 0;
    for (int bar = 1; bar < 88; ++bar)
        if (heights[bar] > heights[first])
            first = bar;
    if (heights[first] == 0)
        return -1;
    int last = first;
    while (last + 1 < 88 && heights[last + 1] == heights[first])
        ++last;
    return (first + last) / 2;
}

bool tallest_becomes(const Program &program, int bar, int ms, int *seen) {
    return wait_for([&] { return (*seen = tallest_bar(grab(program))) == bar; }, ms);
}

// The keyboard strip: A0 yellow, A#0 dark grey, C1 white, the gap after each key black.
bool keyboard_shown(const Picture &picture) {
    return picture.at(1, 85) == 0xFFFF00 && picture.at(5, 85) == 0x404040 &&
           picture.at(13, 85) == 0xFFFFFF && picture.at(3, 85) == 0 &&
           picture.at(349, 85) == 0xFFFF00;
}

// The Hz labels: light grey ground with black text at the left and right edges.
bool labels_shown(const Picture &picture) {
    auto has_text = [&](int from, int to) {
        for (int y = 80; y < 92; ++y)
            for (int x = from; x < to; ++x)
                if (picture.at(x, y) == 0)
                    return true;
        return false;
    };
    return picture.at(100, 81) == 0xC0C0C0 && picture.at(250, 90) == 0xC0C0C0 && has_text(0, 20) &&
           has_text(300, 352);
}

// A tool's text as the tooltip control reports it, read through the program's own memory.
std::wstring tooltip_text(const Program &program, int command) {
    HWND tooltip = nullptr;
    while ((tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(tooltip, &pid);
        if (pid == program.process.dwProcessId)
            break;
    }
    if (!tooltip)
        return L"(no tooltip control)";
    HANDLE process = program.process.hProcess;
    auto *remote = static_cast<char *>(
        VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = program.toolbar;
    tool.uId = static_cast<UINT_PTR>(command);
    tool.lpszText = reinterpret_cast<wchar_t *>(remote + 1024);
    WriteProcessMemory(process, remote, &tool, sizeof(tool), nullptr);
    SendMessageW(tooltip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(remote));
    wchar_t text[80] = {};
    ReadProcessMemory(process, remote + 1024, text, sizeof(text) - sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

void check_created(const Program &program) {
    check(SendMessageA(program.toolbar, TB_BUTTONCOUNT, 0, 0) == 10, "toolbar has ten entries");
    const int commands[] = {IDM_TOPMOST,   IDM_PAUSE, IDM_SCOPE, IDM_NOTE,
                            IDM_BASS_ZOOM, IDM_SIZE,  IDM_MIXER, IDM_ABOUT};
    const int positions[] = {0, 1, 3, 4, 5, 7, 8, 9};
    const int images[] = {0, 11, 6, 4, 7, 10, 9, 5};
    bool layout = true;
    std::string detail;
    for (int i = 0; i < 8; ++i) {
        const auto position = SendMessageA(program.toolbar, TB_COMMANDTOINDEX, commands[i], 0);
        const auto image = SendMessageA(program.toolbar, TB_GETBITMAP, commands[i], 0);
        if (position != positions[i] || image != images[i]) {
            layout = false;
            detail += num(commands[i]) + " at " + num(position) + " image " + num(image) + "; ";
        }
    }
    check(layout, "buttons in their places with their images", detail);
    check(!pressed(program, IDM_TOPMOST), "topmost released");
    check(pressed(program, IDM_SCOPE) && pressed(program, IDM_NOTE), "scope and note pressed");
    check(grey(program, IDM_BASS_ZOOM) && !pressed(program, IDM_BASS_ZOOM),
          "bass zoom grey and released");
    check(grey(program, IDM_MIXER), "mixer grey without the mixer program");
    check(tooltip_text(program, IDM_PAUSE) == L"一時停止" &&
              tooltip_text(program, IDM_BASS_ZOOM) == L"低音域拡大表示",
          "tooltips carry the Japanese texts");
    std::string size;
    check(client_is(program, 1, &size), "client area at 1x", size);
}

// The lower pane: the scope trace is green on black only; the spectrogram has its ramps.
bool lower_pane_is_scope(const Picture &picture) {
    bool trace = false;
    for (int y = 92; y < 172; ++y)
        for (int x = 0; x < 352; ++x) {
            const unsigned colour = picture.at(x, y);
            if (colour != 0 && colour != 0x00FF00)
                return false;
            trace = trace || colour == 0x00FF00;
        }
    return trace;
}

bool lower_pane_is_spectrogram(const Picture &picture) {
    for (int y = 92; y < 172; ++y)
        for (int x = 0; x < 352; ++x)
            if (picture.at(x, y) != 0 && picture.at(x, y) != 0x00FF00)
                return true;
    return false;
}

void check_scope_command(const Program &program) {
    const bool scope = wait_for([&] { return lower_pane_is_scope(grab(program)); }, 2000);
    click(program, IDM_SCOPE);
    const bool spectrogram =
        wait_for([&] { return lower_pane_is_spectrogram(grab(program)); }, 2000);
    click(program, IDM_SCOPE);
    check(scope && spectrogram &&
              wait_for([&] { return lower_pane_is_scope(grab(program)); }, 2000),
          "scope button switches the lower pane between trace and spectrogram");
}

void check_size_command(const Program &program) {
    std::string detail;
    SendMessageA(program.window, WM_COMMAND, IDM_SIZE, 0);
    check(client_is(program, 2, &detail), "size command gives 2x", detail);
    SendMessageA(program.window, WM_COMMAND, IDM_SIZE, 0);
    check(client_is(program, 1, &detail), "size command again gives 1x", detail);
    ShowWindow(program.window, SW_MAXIMIZE);
    wait_for([&] { return IsZoomed(program.window) != FALSE; }, 2000);
    SendMessageA(program.window, WM_COMMAND, IDM_SIZE, 0);
    check(!IsZoomed(program.window) && client_is(program, 1, &detail),
          "size command on a maximised window gives 1x", detail);
}

void check_note_command(const Program &program) {
    click(program, IDM_NOTE);
    const unsigned zoom = state(program, IDM_BASS_ZOOM);
    UpdateWindow(program.window);
    Picture linear;
    wait_for([&] { return labels_shown(linear = grab(program)); }, 2000);
    char strip[64];
    std::snprintf(strip, sizeof(strip), "(strip %06x %06x %06x, zoom state %u)", linear.at(100, 81),
                  linear.at(250, 90), linear.at(1, 85), zoom);
    check(!pressed(program, IDM_NOTE) && (zoom & TBSTATE_ENABLED) &&
              !(zoom & TBSTATE_INDETERMINATE) && labels_shown(linear),
          "note off enables bass zoom and shows the Hz labels", strip);
    click(program, IDM_BASS_ZOOM);
    click(program, IDM_NOTE);
    UpdateWindow(program.window);
    check(pressed(program, IDM_NOTE) && grey(program, IDM_BASS_ZOOM) &&
              pressed(program, IDM_BASS_ZOOM) &&
              wait_for([&] { return keyboard_shown(grab(program)); }, 2000),
          "note on greys bass zoom, keeps it pressed, shows the keyboard");
    click(program, IDM_NOTE);
    check(state(program, IDM_BASS_ZOOM) == (TBSTATE_ENABLED | TBSTATE_CHECKED),
          "bass zoom comes back pressed and enabled");
    click(program, IDM_BASS_ZOOM);
    click(program, IDM_NOTE);
}

void check_topmost(const Program &program) {
    click(program, IDM_TOPMOST);
    std::string detail = "image " +
                         num(SendMessageA(program.toolbar, TB_GETBITMAP, IDM_TOPMOST, 0)) +
                         ", priority " + num(GetPriorityClass(program.process.hProcess));
    const bool on = SendMessageA(program.toolbar, TB_GETBITMAP, IDM_TOPMOST, 0) == 1 &&
                    GetPriorityClass(program.process.hProcess) == HIGH_PRIORITY_CLASS;
    click(program, IDM_TOPMOST);
    const bool off = SendMessageA(program.toolbar, TB_GETBITMAP, IDM_TOPMOST, 0) == 0 &&
                     GetPriorityClass(program.process.hProcess) == NORMAL_PRIORITY_CLASS;
    check(on && off, "topmost: pin image and high priority exactly while pressed", detail);
}

void check_second_copy(const char *path) {
    PROCESS_INFORMATION second = {};
    const bool launched = launch(path, &second);
    const DWORD code = launched ? wait_exit(second.hProcess, 15000) : STILL_ACTIVE;
    check(launched && code == 0 && program_windows().size() == 1,
          "a second copy exits 0 without a second window",
          "exit " + num(code) + ", windows " + num(program_windows().size()));
    if (launched) {
        if (code == STILL_ACTIVE)
            TerminateProcess(second.hProcess, 1);
        CloseHandle(second.hProcess);
        CloseHandle(second.hThread);
    }
}

void check_about(const Program &program) {
    PostMessageA(program.window, WM_COMMAND, IDM_ABOUT, 0); // modal: a send would block
    HWND about = nullptr;
    wait_for([&] { return (about = FindWindowW(L"#32770", L"Sonavex のバージョン情報")); }, 5000);
    check(about != nullptr, "About box opens with its Japanese caption");
    if (!about)
        return;
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    GetGUIThreadInfo(GetWindowThreadProcessId(about, nullptr), &thread);
    char address[80] = {};
    GetDlgItemTextA(about, IDC_LINK, address, sizeof(address));
    check(thread.hwndFocus == GetDlgItem(about, IDOK) && std::strncmp(address, "http", 4) == 0,
          "About box has the focus on OK and the link");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    check(wait_for([&] { return !IsWindow(about); }, 5000), "OK closes the About box");
}

void check_close(Program &program) {
    PostMessageA(program.window, WM_CLOSE, 0, 0);
    const DWORD code = wait_exit(program.process.hProcess, 15000);
    check(code == 0, "WM_CLOSE ends the process with exit code 0", "exit " + num(code));
    if (code == STILL_ACTIVE)
        TerminateProcess(program.process.hProcess, 1);
}

int run_with_sound(const char *path) {
    Program program;
    if (!start(path, &program)) {
        check(false, "the program starts and shows its window");
        return 1;
    }
    check_created(program);
    check(wait_for([&] { return keyboard_shown(grab(program)); }, 2000),
          "keyboard strip after creation");
    int seen = -1;
    // The pause command posted at creation opens the device once the loop runs.
    check(tallest_becomes(program, 48, 10000, &seen) && !pressed(program, IDM_PAUSE),
          "440 Hz, capturing: the tallest bar is bar 48", "tallest " + num(seen));

    // Stop and restart in quick succession: the reset of each run posts blocks that are
    // only handled after the next start, and must not be taken for blocks of the new run.
    for (int i = 0; i < 6; ++i)
        click(program, IDM_PAUSE);
    check(!pressed(program, IDM_PAUSE) && tallest_becomes(program, 48, 10000, &seen),
          "after quick pause and resume the picture runs again", "tallest " + num(seen));

    check_scope_command(program);
    check_note_command(program);
    check_size_command(program);
    check_topmost(program);
    check_second_copy(path);
    check_about(program);
    check(tallest_becomes(program, 48, 5000, &seen), "still analysing after the About box",
          "tallest " + num(seen));
    check_close(program);
    return 0;
}

int run_without_sound(const char *path) {
    // Another program's window with the same title must not pass for a running copy.
    HWND decoy = CreateWindowExA(0, "STATIC", "Sonavex", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    Program program;
    const bool started = start(path, &program);
    check(decoy && started, "starts beside a window of another class titled Sonavex");
    if (!started)
        return 1;
    check(wait_for([&] { return pressed(program, IDM_PAUSE); }, 5000),
          "no sound server: the pause button is pressed");
    Sleep(500);
    UpdateWindow(program.window);
    const Picture picture = grab(program);
    bool black = true;
    for (int y = 0; y < 172; ++y)
        for (int x = 0; x < 352; ++x)
            if ((y < 80 || y >= 92) && picture.at(x, y) != 0)
                black = false;
    check(black && keyboard_shown(picture), "no sound server: black picture but the strip");
    check_close(program);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s running|no-sound PATH-TO-SONAVEX.EXE\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "running") == 0)
        run_with_sound(argv[2]);
    else
        run_without_sound(argv[2]);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
