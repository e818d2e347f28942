#include "engine/history.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {

// The newest 8192 samples, oldest first, as the analysis reads them.
std::int16_t *g_history = nullptr;
// One slot per ring position holding that buffer's latest delivered block. The device may
// refill a buffer as soon as it is queued again, so the history is built from these copies.
std::int16_t *g_slots = nullptr;

} // namespace

bool create_sample_history() {
    if (g_history)
        return true;
    auto *history = static_cast<std::int16_t *>(std::calloc(kHistorySamples, sizeof(std::int16_t)));
    auto *slots = static_cast<std::int16_t *>(
        std::calloc(std::size_t{kRingBuffers} * kBlockSamples, sizeof(std::int16_t)));
    if (!history || !slots) {
        std::free(history);
        std::free(slots);
        return false;
    }
    g_history = history;
    g_slots = slots;
    return true;
}

void free_sample_history() {
    std::free(g_history);
    std::free(g_slots);
    g_history = nullptr;
    g_slots = nullptr;
}

std::int16_t *sample_history() { return g_history; }

int ring_index_of(const void *data, const void *const ring_data[kRingBuffers]) {
    assert(ring_data && "ring_index_of needs the ring's data pointers");
    for (int k = 0; k < kRingBuffers; ++k) {
        if (ring_data[k] == data)
            return k;
    }
    return kRingBuffers;
}

void store_block(int ring_index, const void *data) {
    if (!g_slots || !data || ring_index < 0 || ring_index >= kRingBuffers)
        return;
    std::memcpy(g_slots + ring_index * kBlockSamples, data, kBlockBytes);
}

void clear_blocks() {
    if (g_slots)
        std::memset(g_slots, 0, std::size_t{kRingBuffers} * kBlockBytes);
}

void rebuild_history(const void *arrived_data, const void *const ring_data[kRingBuffers]) {
    if (!g_history)
        return;
    // The device fills the buffers in ring order, so the one after the arrived buffer holds
    // the oldest block. No match (index 8) yields the same order as buffer 0.
    const int arrived = ring_index_of(arrived_data, ring_data);
    for (int k = 0; k < kRingBuffers; ++k) {
        const int slot = (arrived + 1 + k) % kRingBuffers;
        std::memcpy(g_history + k * kBlockSamples, g_slots + slot * kBlockSamples, kBlockBytes);
    }
}
