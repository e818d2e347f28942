// Block messages on Windows: window messages in the window's own queue. WM_USER carries the
// capture run in wParam and the filled buffer's header in lParam.
#include "block_messages.h"

#include <windows.h>

void post_block_message(void *window, std::uintptr_t run, WaveHeader *header) {
    PostMessageA(static_cast<HWND>(window), WM_USER, static_cast<WPARAM>(run),
                 reinterpret_cast<LPARAM>(header));
}

bool take_block_message(void *window, std::uintptr_t *run, WaveHeader **header) {
    MSG message;
    if (!PeekMessageA(&message, static_cast<HWND>(window), WM_USER, WM_USER, PM_REMOVE))
        return false;
    *run = static_cast<std::uintptr_t>(message.wParam);
    *header = reinterpret_cast<WaveHeader *>(message.lParam);
    return true;
}

void request_repaint(void *window) { InvalidateRect(static_cast<HWND>(window), nullptr, TRUE); }
