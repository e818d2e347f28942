#include "paint_timing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

static const bool g_enabled = std::getenv("SONAVEX_PAINT_TIMING") != nullptr;
static std::atomic<long long> g_oldestDelivery{0}; // steady-clock ns; 0: none waiting
static std::vector<double> g_latenciesMs;          // window thread only

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

void report_paint_timing() {
    if (!g_enabled || g_latenciesMs.empty()) {
        return;
    }
    std::vector<double> sorted = g_latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(stderr, "delivery-to-paint ms: median %.3f worst %.3f paints %zu\n",
                 sorted[sorted.size() / 2], sorted.back(), sorted.size());
}
