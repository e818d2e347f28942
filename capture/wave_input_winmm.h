#pragma once

#include "capture/wave_input.h"

#include <string>

// winmm's recording devices as a wave-input device. Windows only; no platform header here.

// The device; its open records from the system's default input (WAVE_MAPPER).
const WaveInput &winmm_wave_input();

// Opens recording device number `device_id` (the system's number for it now; 0xFFFFFFFF,
// WAVE_MAPPER, for the default input) for the capture format, as winmm_wave_input's open
// does for the default. The device so opened is then driven through winmm_wave_input().
unsigned open_winmm_device(unsigned device_id, WaveHandle *device, const CaptureFormat *format,
                           WaveCallback callback, std::uintptr_t instance);

// The name of recording device number `device_id` as UTF-8, read only up to the 31
// characters the system keeps, terminated or not; empty when there is no such device.
std::string winmm_device_name(unsigned device_id);
