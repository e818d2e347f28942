#include "resource.h"
#include "shell.h"

#include "engine/frame.h"

HINSTANCE g_instance = nullptr;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    g_instance = instance;

    // One copy per desktop: bring the running one to the front and leave.
    HWND running = FindWindowA(kWindowClass, kWindowTitle);
    if (running) {
        SetForegroundWindow(running);
        return 0;
    }

    build_analysis_tables();

    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SONAVEX));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr; // painting covers the whole picture area
    window_class.lpszClassName = kWindowClass;
    if (!RegisterClassA(&window_class))
        return 0;

    // The creation handler sizes and shows the window itself (its size command).
    HWND window = CreateWindowExA(0,                                     // extended style
                                  kWindowClass,                          // class
                                  kWindowTitle,                          // title
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, // style
                                  CW_USEDEFAULT, CW_USEDEFAULT,          // position
                                  0, 0,                                  // size
                                  nullptr,                               // parent
                                  nullptr,                               // menu
                                  instance,                              // instance
                                  nullptr);                              // creation parameter
    if (!window)
        return 0;
    ShowWindow(window, show_command);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
