#include "paint_timing.h"

#include "engine/frame.h"
#include "engine/tables.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

// A session may run for days, so not every latency is kept: the first kKept are, and after
// that each new one replaces a kept one with the chance that leaves every paint equally
// likely to be among them (a uniform sample), so the median stays the median of the whole
// run. The worst and the count are tracked exactly.
static constexpr std::size_t kKept = 1 << 16;

static const bool g_enabled = std::getenv("SONAVEX_PAINT_TIMING") != nullptr;
static std::atomic<long long> g_oldestDelivery{0}; // steady-clock ns; 0: none waiting
static std::vector<double> g_keptMs;               // window thread only, at most kKept
static double g_worstMs = 0.0;                     // window thread only
static unsigned long long g_paints = 0;            // window thread only: paints measured
static std::mt19937_64 g_choice;                   // which kept value a new one replaces

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
    if (delivered == 0) {
        return;
    }
    const double latencyMs = static_cast<double>(now_ns() - delivered) / 1e6;
    g_worstMs = std::max(g_worstMs, latencyMs);
    ++g_paints;
    if (g_keptMs.size() < kKept) {
        if (g_keptMs.capacity() == 0) {
            g_keptMs.reserve(kKept);
        }
        g_keptMs.push_back(latencyMs);
        return;
    }
    const unsigned long long slot = g_choice() % g_paints;
    if (slot < kKept) {
        g_keptMs[slot] = latencyMs;
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
    if (!g_enabled || g_keptMs.empty()) {
        return;
    }
    std::vector<double> sorted = g_keptMs;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(stderr, "delivery-to-paint ms: median %.3f worst %.3f paints %llu\n",
                 sorted[sorted.size() / 2], g_worstMs, g_paints);
}
