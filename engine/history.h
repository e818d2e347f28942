#pragma once

#include <cstdint>

// The sample history: the newest eight capture blocks, 8192 signed 16-bit samples, oldest
// first. Each delivered block is first copied into an application-owned slot of its ring
// position, so that rebuilding never reads a buffer the device may be filling.

constexpr int kHistorySamples = 8192;
constexpr int kBlockSamples = 1024;
constexpr int kBlockBytes = 2 * kBlockSamples; // 2048
constexpr int kRingBuffers = 8;

// Allocates the history (and the eight block slots) zero-filled. False when it fails; the
// history is then absent. Calling it while the history exists keeps it and returns true.
bool create_sample_history();
void free_sample_history();
// The 8192 samples, or nullptr when absent.
std::int16_t *sample_history();

// Ring position of the buffer whose data pointer is `data`: the first k with
// ring_data[k] == data, or 8 when none matches. Compares pointers only.
int ring_index_of(const void *data, const void *const ring_data[kRingBuffers]);

// Copies one delivered block (2048 bytes) into the slot of ring position `ring_index`.
// Positions outside 0..7 are ignored. No effect while the history is absent.
void store_block(int ring_index, const void *data);
// Zeroes the eight slots: a new capture run starts from silence.
void clear_blocks();

// Rebuilds the history from the slots in ring order starting after the arrived buffer:
// slots i+1, i+2, ... i+7, i (mod 8), where i = ring_index_of(arrived_data, ring_data);
// no match orders them as for buffer 0. The arrived block ends up as samples 7168..8191.
void rebuild_history(const void *arrived_data, const void *const ring_data[kRingBuffers]);
