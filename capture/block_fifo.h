#pragma once

#include "wave_input.h"

// The Linux side of the block-message seam: post_block_message pushes (run, header) into a
// thread-safe FIFO and calls the wake-up hook, which must only queue a call to
// on_block_wakeup on the window's thread (Qt: a queued invokeMethod). request_repaint calls
// the repaint hook.

using WindowHook = void (*)(void *window);

// Installs the shell's hooks; either may be nullptr (then nothing is called).
void set_block_hooks(WindowHook wake, WindowHook repaint);

// Window thread, once per wake-up: takes the next waiting block message and hands it to
// on_block_arrived; when the FIFO is empty (the drain already took it), only requests a
// repaint.
void on_block_wakeup(void *window);

// Drops every waiting message (used when the window goes away).
void clear_block_messages();
