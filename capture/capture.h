#pragma once

#include "wave_input.h"

#include <cstddef>
#include <cstdint>

// The capture ring: eight buffers of 1024 samples handed round the wave-input device, and the
// window's handling of each filled buffer. Everything here except capture_callback runs on
// the window's thread. `window` is the shell's window, passed through as an opaque value.

// Opens the default input for the capture format; true when open. Sets the capturing flag
// only through the caller (see capture_running).
bool open_capture(void *window);
// Allocates the buffer block, queues the eight buffers and starts recording; on any failure
// everything is released again and capture is stopped.
void start_capture();
// Stops recording, takes every buffer back, closes the device, releases the buffers. Safe in
// any state; with nothing open it makes no device calls.
void stop_capture();
// The capturing flag: true from a successful open until capture stops.
bool capture_running();
void set_capture_running(bool running);

// Prepares and adds one buffer; false when either step fails.
bool requeue_buffer(WaveHeader *header);

// The device's callback: posts a block message for every filled buffer, nothing else.
void capture_callback(WaveHandle device, unsigned message, std::uintptr_t instance,
                      std::uintptr_t param1, std::uintptr_t param2);

// The window's handling of one block message: `run` identifies the capture run that posted
// it, `header` the filled buffer. Rebuilds the history, re-queues the buffer, renders the
// frame, re-queues every block already waiting, requests a repaint. Returns 0.
// A message of an earlier run, or a header that is not one of the current ring's eight, is
// ignored without touching the header: only the repaint is requested.
long on_block_arrived(void *window, std::uintptr_t run, WaveHeader *header);

// The buffer block's allocator, so that tests can make the allocation fail. `allocate` has
// calloc's contract (zero-filled memory or nullptr); nullptr for both restores calloc/free.
// Change it only while capture is stopped.
void use_buffer_allocator(void *(*allocate)(std::size_t count, std::size_t size),
                          void (*release)(void *block));
