#include "engine/history.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// Eight stand-in capture buffers; sample k of buffer b holds 1000 * b + k % 1000 + delivery,
// so every sample tells which buffer and which delivery it came from.
class History : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(create_sample_history());
        clear_blocks();
        for (int b = 0; b < kRingBuffers; ++b)
            ring[b] = buffers[b].data();
    }
    void TearDown() override { free_sample_history(); }

    void deliver(int b, int delivery = 0) {
        for (int k = 0; k < kBlockSamples; ++k)
            buffers[b][k] = static_cast<std::int16_t>(1000 * b + k % 1000 + delivery);
        store_block(ring_index_of(buffers[b].data(), ring), buffers[b].data());
    }
    void deliver_all() {
        for (int b = 0; b < kRingBuffers; ++b)
            deliver(b);
    }
    // The buffer each history block came from, read from its first sample.
    std::array<int, kRingBuffers> history_order() const {
        std::array<int, kRingBuffers> order{};
        for (int k = 0; k < kRingBuffers; ++k)
            order[k] = sample_history()[k * kBlockSamples] / 1000;
        return order;
    }

    std::array<std::array<std::int16_t, kBlockSamples>, kRingBuffers> buffers{};
    const void *ring[kRingBuffers]{};
};

using Order = std::array<int, kRingBuffers>;

TEST_F(History, RebuildsInRingOrderEndingWithTheArrivedBuffer) {
    deliver_all();
    rebuild_history(ring[5], ring);
    EXPECT_EQ(history_order(), (Order{6, 7, 0, 1, 2, 3, 4, 5}));
    rebuild_history(ring[7], ring);
    EXPECT_EQ(history_order(), (Order{0, 1, 2, 3, 4, 5, 6, 7}));
    rebuild_history(ring[0], ring);
    EXPECT_EQ(history_order(), (Order{1, 2, 3, 4, 5, 6, 7, 0}));

    // A header that is none of the ring's is taken as buffer 0.
    std::int16_t stranger[kBlockSamples] = {};
    EXPECT_EQ(ring_index_of(stranger, ring), 8);
    rebuild_history(ring[3], ring);
    rebuild_history(stranger, ring);
    EXPECT_EQ(history_order(), (Order{1, 2, 3, 4, 5, 6, 7, 0}));

    // The arrived block is always the newest 1024 samples, byte for byte.
    for (int b = 0; b < kRingBuffers; ++b) {
        rebuild_history(ring[b], ring);
        for (int k = 0; k < kBlockSamples; ++k)
            ASSERT_EQ(sample_history()[7168 + k], buffers[b][k]) << b;
    }
}

TEST_F(History, ReadsDeliveredCopiesNotBuffersBeingRefilled) {
    deliver_all();
    // Buffer 3 is handled late: 4 and 5 have delivered newer blocks meanwhile, and the
    // device is already writing into buffer 6 again.
    deliver(4, 1);
    deliver(5, 1);
    buffers[6].fill(-1);
    rebuild_history(ring[3], ring);
    EXPECT_EQ(history_order(), (Order{4, 5, 6, 7, 0, 1, 2, 3}));
    EXPECT_EQ(sample_history()[0], 4001);
    EXPECT_EQ(sample_history()[kBlockSamples], 5001);
    EXPECT_EQ(sample_history()[2 * kBlockSamples], 6000); // the delivered copy, not -1
}

TEST_F(History, NewRunStartsFromSilence) {
    deliver_all();
    clear_blocks();
    deliver(0);
    rebuild_history(ring[0], ring);
    const std::int16_t *h = sample_history();
    for (int k = 0; k < 7168; ++k)
        ASSERT_EQ(h[k], 0) << k;
    EXPECT_EQ(h[7168], 0);
    EXPECT_EQ(h[8191], 1023 % 1000);

    // Slots outside the ring and null data are ignored.
    store_block(-1, buffers[1].data());
    store_block(8, buffers[1].data());
    store_block(2, nullptr);
    rebuild_history(ring[0], ring);
    for (int k = 0; k < 7168; ++k)
        ASSERT_EQ(h[k], 0) << k;
}

TEST(HistoryLifetime, AbsentHistoryIgnoresBlocksAndRebuilds) {
    free_sample_history();
    EXPECT_EQ(sample_history(), nullptr);
    std::vector<std::int16_t> block(kBlockSamples, 5);
    const void *ring[kRingBuffers] = {block.data()};
    store_block(0, block.data());
    rebuild_history(block.data(), ring);
    clear_blocks();

    ASSERT_TRUE(create_sample_history());
    std::int16_t *h = sample_history();
    EXPECT_TRUE(create_sample_history());
    EXPECT_EQ(sample_history(), h);
    for (int k = 0; k < kHistorySamples; ++k)
        ASSERT_EQ(h[k], 0);
    free_sample_history();
}

} // namespace
