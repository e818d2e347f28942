#pragma once

#include <cstdint>

// The oscilloscope trace: the newest 352 samples of the history (samples 7839..8190, one
// per column) drawn as one connected line into the scope plane.

constexpr int kScopeFirstSample = 7839;
constexpr unsigned char kTraceColour = 4; // green

// The plane row of a sample: -32768 lands in row 0, 0 in row 40, 32640 and above in row 79.
int scope_row(std::int16_t sample);

// Clears the scope plane and draws the trace from the sample history. Does nothing when the
// display block or the history is absent.
void draw_scope_trace();
