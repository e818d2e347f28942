#pragma once

#include "wave_input.h"

#include <cstdint>

// How a filled buffer travels from the device's thread to the window's thread, and how the
// window asks to be repainted. One implementation per platform: window messages on Windows,
// a thread-safe FIFO with a queued wake-up on Linux.

// Device thread: "block arrived, with this buffer, from this capture run".
void post_block_message(void *window, std::uintptr_t run, WaveHeader *header);
// Window thread: removes the next waiting block message for `window`, without blocking.
// False when none is waiting.
bool take_block_message(void *window, std::uintptr_t *run, WaveHeader **header);
// Window thread: the whole picture is to be repainted.
void request_repaint(void *window);
