#pragma once

// The engine as the frame benchmarks set it up and the sample history they analyse, shared by
// the Google Benchmark cases and the plain loop timer of the 32-bit build, so that both time
// the same work.

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>

// The analysis tables, the display block and the history, as the program makes them at its
// start; false, said on stderr, when they cannot be allocated.
inline bool set_up_engine() {
    build_analysis_tables();
    if (create_display_block() && create_sample_history())
        return true;
    std::fprintf(stderr, "cannot allocate the display block or the history\n");
    return false;
}

// Music-like history: a few tones over quiet noise, so that bars of many heights are drawn
// and the scope trace moves.
inline void fill_history() {
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::int16_t *h = sample_history();
    for (int i = 0; i < kHistorySamples; ++i) {
        const double t = i / 22050.0;
        const double v = 6000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 659 * t) +
                         1500 * std::sin(2 * M_PI * 3520 * t) + noise(gen);
        h[i] = static_cast<std::int16_t>(std::lround(v));
    }
}

// The same with A2 (110 Hz) beneath, so that a band of the long transform holds a peak too:
// the readout's timers search one there and one in the short transform (A3, 220 Hz).
inline void fill_history_with_bass() {
    fill_history();
    std::int16_t *h = sample_history();
    for (int i = 0; i < kHistorySamples; ++i)
        h[i] = static_cast<std::int16_t>(
            h[i] + std::lround(4000 * std::sin(2 * M_PI * 110 * i / 22050.0)));
}
