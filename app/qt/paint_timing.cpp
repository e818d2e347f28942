#include "paint_timing.h"

#include "engine/frame.h"
#include "engine/tables.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

static const bool g_enabled = std::getenv("SONAVEX_PAINT_TIMING") != nullptr;
static std::atomic<long long> g_oldestDelivery{0}; // steady-clock ns; 0: none waiting
static std::vector<double> g_latenciesMs;          // window thread only

static const bool g_movesTimed = std::getenv("SONAVEX_MOVE_TIMING") != nullptr;
static long long g_chosenAt = 0; // steady-clock ns of the choice awaiting its frame; 0: none
static int g_tallestAtChoice = -1;
static std::vector<double> g_moveMs;

static long long now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void note_block_delivered() {
    if (!g_enabled) {
        return;
    }
    long long none = 0;
    g_oldestDelivery.compare_exchange_strong(none, now_ns());
}

void note_paint_finished() {
    if (!g_enabled) {
        return;
    }
    const long long delivered = g_oldestDelivery.exchange(0);
    if (delivered != 0) {
        if (g_latenciesMs.capacity() == 0) {
            g_latenciesMs.reserve(1 << 16);
        }
        g_latenciesMs.push_back(static_cast<double>(now_ns() - delivered) / 1e6);
    }
}

// The band of the tallest bar the last frame drew; -1 when none is drawn or all are silent.
static int tallest_band() {
    int tallest = -1;
    double top = 0.0;
    double level = 0.0;
    for (int band = 0; band < kBands; ++band) {
        if (drawn_band_level(view_flags(), bass_zoom(), band, &level) && level > top) {
            top = level;
            tallest = band;
        }
    }
    return tallest;
}

void note_source_chosen() {
    if (g_movesTimed) {
        g_tallestAtChoice = tallest_band();
        g_chosenAt = now_ns();
    }
}

void note_frame_drawn() {
    if (!g_movesTimed || g_chosenAt == 0) {
        return;
    }
    const int tallest = tallest_band();
    if (tallest >= 0 && tallest != g_tallestAtChoice) {
        g_moveMs.push_back(static_cast<double>(now_ns() - g_chosenAt) / 1e6);
        g_chosenAt = 0;
    }
}

void report_paint_timing() {
    if (g_movesTimed && !g_moveMs.empty()) {
        std::vector<double> sorted = g_moveMs;
        std::sort(sorted.begin(), sorted.end());
        std::fprintf(stderr, "choice-to-new-source-frame ms: median %.1f worst %.1f moves %zu\n",
                     sorted[sorted.size() / 2], sorted.back(), sorted.size());
    }
    if (!g_enabled || g_latenciesMs.empty()) {
        return;
    }
    std::vector<double> sorted = g_latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(stderr, "delivery-to-paint ms: median %.3f worst %.3f paints %zu\n",
                 sorted[sorted.size() / 2], sorted.back(), sorted.size());
}
