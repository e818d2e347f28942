#pragma once

#include <windows.h>

#include <string>

// The Windows shell's pieces and the window-level state they share. Everything here runs on
// the window's thread only.

// The module's instance handle, set by WinMain before the window is created.
extern HINSTANCE g_instance;

// Window class and title; the single-instance lookup needs both.
constexpr char kWindowClass[] = "SonavexWnd";
constexpr char kWindowTitle[] = "Sonavex";

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The toolbar, its measured height and the composite bitmap, for the commands.
HWND toolbar_window();
int toolbar_height();
HBITMAP composite_bitmap();
// Sets the pause button pressed: capture is off, and releasing the button starts it again.
void show_paused();
// The picture's place in the client area: inside the sunken edge below the toolbar. Empty
// (right <= left or bottom <= top) when the window is too small to show it.
RECT picture_area(HWND window);

// Opens and starts capture from the source chosen now; when that fails, the pause button
// shows pressed, so that one click retries.
void resume_capture(HWND window);

// Looks for a recording-level control for the mixer command to start; false when there is
// none, and the mixer button is then to be grey.
bool find_mixer();

// Toolbar commands (110, 113..119); false for any other command number.
bool run_command(HWND window, int command);

// The picture's commands, "Save picture…" and "Copy picture" (IDM_SAVE_PICTURE,
// IDM_COPY_PICTURE), on the picture as the window shows it now; false for any other command
// number. Failures are said in a message box.
bool run_picture_command(HWND window, int command);
// WM_KEYDOWN: Ctrl+S saves and Ctrl+C copies the picture; other keys go to DefWindowProcA.
LRESULT picture_key_down(HWND window, WPARAM key, LPARAM flags);

// The picture's menu for WM_CONTEXTMENU at `position` (screen coordinates; -1, -1 from the
// keyboard): "Record from" the default input, each recording device or what the computer
// plays, then save and copy the picture, which reach the window as WM_COMMAND. Returns 0;
// a position outside the picture goes to DefWindowProcA instead.
LRESULT show_picture_menu(HWND window, WPARAM wparam, LPARAM position);

// The readout of the band under the pointer, in a tooltip that follows the pointer over
// the picture and shows also while the window is inactive. Created with the window; asked
// on every pointer move over the window, and after every frame while it shows (nothing is
// computed while it does not).
void create_readout_tip(HWND window);
void readout_follow_pointer(HWND window, LPARAM client_position);
void readout_pointer_left();
void readout_refresh(HWND window);

// UTF-8 text as the wide calls take it.
inline std::wstring utf16(const std::string &text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(),
                                           static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length) - 1 : 0);
    return wide;
}

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Paints the scale strip (rows 80..91) into the composite bitmap with GDI. `window` only
// provides a device context compatible with the display.
void draw_scale_strip(HWND window, HBITMAP composite, unsigned view_flags);
