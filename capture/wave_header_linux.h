#pragma once

#include "wave_input.h"

#include <cstdint>

// The wave header of the Linux devices, laid out like the platform wave header of the
// Windows build (32 bytes on 32-bit x86, 48 on x86_64), so the ring treats both alike; only
// the fields a device uses carry meaning here. For the devices' own files only.
struct WaveHeader {
    char *data;
    std::uint32_t length;
    std::uint32_t bytes_recorded;
    std::uintptr_t user;
    std::uint32_t flags;
    std::uint32_t loops;
    WaveHeader *next;
    std::uintptr_t reserved;
};
