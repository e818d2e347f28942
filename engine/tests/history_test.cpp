#include "engine/history.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Block b of delivery d holds the value 100 * b + d in every sample.
std::vector<int> history_blocks() {
    std::vector<int> blocks;
    for (int k = 0; k < kRingBuffers; ++k)
        blocks.push_back(sample_history()[k * kBlockSamples]);
    return blocks;
}

TEST(History, RebuildsFromDeliveredCopiesInRingOrder) {
    ASSERT_TRUE(create_sample_history());
    std::vector<std::int16_t> buffers(kRingBuffers * kBlockSamples);
    const void *ring[kRingBuffers];
    auto deliver = [&](int b, int d) {
        std::fill_n(&buffers[b * kBlockSamples], kBlockSamples, 100 * b + d);
        store_block(ring_index_of(ring[b], ring), ring[b]);
    };
    for (int b = 0; b < kRingBuffers; ++b)
        ring[b] = &buffers[b * kBlockSamples];
    for (int b = 0; b < kRingBuffers; ++b)
        deliver(b, 0);

    rebuild_history(ring[5], ring);
    EXPECT_EQ(history_blocks(), (std::vector<int>{600, 700, 0, 100, 200, 300, 400, 500}));
    rebuild_history(ring[7], ring);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 100, 200, 300, 400, 500, 600, 700}));
    int stranger = 0; // matches no buffer: ordered as buffer 0
    rebuild_history(&stranger, ring);
    EXPECT_EQ(history_blocks(), (std::vector<int>{100, 200, 300, 400, 500, 600, 700, 0}));

    // Buffer 3 handled late: 4 and 5 delivered again, and the device is refilling 6.
    deliver(4, 1);
    deliver(5, 1);
    std::fill_n(&buffers[6 * kBlockSamples], kBlockSamples, -1);
    rebuild_history(ring[3], ring);
    EXPECT_EQ(history_blocks(), (std::vector<int>{401, 501, 600, 700, 0, 100, 200, 300}));

    // A new run starts from silence; slots outside the ring are ignored.
    clear_blocks();
    deliver(0, 9);
    store_block(8, ring[1]);
    rebuild_history(ring[0], ring);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 9}));
    free_sample_history();
    rebuild_history(ring[0], ring); // absent history: no effect
    EXPECT_EQ(sample_history(), nullptr);
}

} // namespace
