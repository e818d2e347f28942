#pragma once

#include <windows.h>

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

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Paints the scale strip (rows 80..91) into the composite bitmap with GDI. `window` only
// provides a device context compatible with the display.
void draw_scale_strip(HWND window, HBITMAP composite, unsigned view_flags);
