#pragma once

#include "capture/wave_input.h"

// What the computer plays, on Windows: loopback capture of the default output through the
// system's audio endpoint service, converted in the program to the capture format (mono,
// 16-bit, 22050 Hz) and delivered in the ring's blocks like any other wave-input device.
// Windows only; the service is reached through COM when asked for, so the program still
// starts on a system without it.

// True when the system offers a default output to record from. Asked now, by opening a
// loopback stream as recording would (on a thread of its own; the caller waits at most about
// 2 s); false on a system without the service or without an output, and where the service
// opens the stream but refuses to capture from it (Wine before 9.12).
bool loopback_offered();

// The loopback device, with the semantics of every wave-input device: a failed open returns
// non-zero (the ring then behaves as for any input that cannot be opened); blocks keep
// coming with silence while nothing plays; a device that goes away while recording fails as
// a failed device does.
const WaveInput &loopback_wave_input();
