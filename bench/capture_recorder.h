#pragma once

#include "capture/wave_input.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// The platform's wave input with a recorder in front of it: every buffer added and every
// buffer delivered, with its time. Installed with use_wave_input while it lives. Records go
// into room reserved up front, so recording allocates nothing while capture runs.
class RecordingWaveInput {
  public:
    struct Event {
        WaveHeader *header;
        std::chrono::steady_clock::time_point time;
        bool by_reset; // delivered while a reset was taking the buffers back
    };

    // `room` events of each kind are kept; with `keep_samples`, every delivered block's
    // samples too (not those a reset returns), in delivery order.
    explicit RecordingWaveInput(std::size_t room = 1 << 16, bool keep_samples = false);
    ~RecordingWaveInput();

    std::vector<Event> adds() const;
    std::vector<Event> deliveries() const;
    std::size_t delivered() const;
    std::size_t added() const;
    std::vector<std::int16_t> samples() const;
};
