#include "engine_test.h"

#include <cstdint>

namespace {

struct History : EngineTest {};

TEST_F(History, FollowsTheRingFromDeliveredCopies) {
    std::int16_t b[kRingBuffers][kBlockSamples];
    const void *ring[] = {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]};
    // Delivers values v into buffer v / 100, then checks every sample of the rebuilt history.
    auto run = [&](std::vector<int> delivered, const void *arrived, std::vector<int> blocks) {
        for (int v : delivered)
            std::fill_n(b[v / 100], kBlockSamples, v),
                store_block(ring_index_of(ring[v / 100], ring), ring[v / 100]);
        rebuild_history(arrived, ring);
        for (int i = 0; i < kHistorySamples; ++i)
            ASSERT_EQ(sample_history()[i], blocks[i / kBlockSamples]) << i;
    };
    run({0, 100, 200, 300, 400, 500, 600, 700}, ring[5], {600, 700, 0, 100, 200, 300, 400, 500});
    run({}, b[0] + 1, {100, 200, 300, 400, 500, 600, 700, 0}); // no match: as buffer 0
    std::fill_n(b[6], kBlockSamples, -1); // the device refilling 6 while 3 is handled late
    run({401, 501}, ring[3], {401, 501, 600, 700, 0, 100, 200, 300});
    clear_blocks(); // a new run starts from silence; slots outside the ring are ignored
    store_block(8, ring[1]);
    run({9}, ring[0], {0, 0, 0, 0, 0, 0, 0, 9});
}

// Without a history there is nothing to rebuild into and nothing to analyse: a block that
// arrives then, and the frame after it, leave the planes as they are.
TEST_F(History, WithoutOneNothingIsRebuiltOrDrawn) {
    std::int16_t b[kRingBuffers][kBlockSamples] = {};
    const void *ring[] = {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]};
    std::fill(plane(0), plane(3), 5);
    free_sample_history();
    rebuild_history(ring[0], ring);
    render_frame(kNoteMode);
    EXPECT_EQ(Row(plane(0), plane(3)), Row(3 * kPlaneBytes, 5)) << "the planes were drawn on";
}

} // namespace
