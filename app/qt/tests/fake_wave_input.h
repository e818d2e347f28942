#pragma once

#include "capture/wave_input.h"

// A wave-input device for the widget tests: it opens (or refuses to), keeps the added
// buffers in order and fills and returns them only when a test asks, on the test's thread.
namespace fake_input {

void install(); // as the ring's device, with a clean slate
void uninstall();
void fail_open(bool fail);
// Fills up to `blocks` queued buffers with a sine of `hz` and returns each through the
// callback, as the device's thread would. Returns how many it delivered.
int deliver(double hz, int blocks);
bool recording();
int opens();

} // namespace fake_input
