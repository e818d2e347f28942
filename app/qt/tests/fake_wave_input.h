#pragma once

#include "capture/wave_input.h"

// A wave-input device for the widget tests: it opens (or refuses to), keeps the added buffers
// in order and fills and returns them only when a test asks, on the test's own thread.
namespace fake_input {

// Installs the fake as the ring's device and forgets every earlier buffer and setting.
void install();
// Restores the platform's device.
void uninstall();
// Whether the next opens fail.
void fail_open(bool fail);
// Fills up to `blocks` queued buffers with a sine of `hz` (continuing its phase) and returns
// each through the callback, as the device's thread would. Returns how many it delivered.
int deliver(double hz, int blocks);
// Whether the device is open and recording.
bool recording();
int opens();

} // namespace fake_input
