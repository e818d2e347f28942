#include "capture/block_fifo.h"
#include "capture/block_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Stand-ins for two windows and for the headers the device hands back; the FIFO never
// dereferences either.
int g_window_a, g_window_b;
WaveHeader *header(std::uintptr_t n) { return reinterpret_cast<WaveHeader *>(0x1000 + 16 * n); }

// Takes up to `most` messages waiting for `window`, as run * 1000 + header number, in taking
// order.
std::vector<std::uintptr_t> take_all(void *window, std::size_t most = 1000) {
    std::vector<std::uintptr_t> taken;
    std::uintptr_t run = 0;
    WaveHeader *h = nullptr;
    while (taken.size() < most && take_block_message(window, &run, &h))
        taken.push_back(run * 1000 + (reinterpret_cast<std::uintptr_t>(h) - 0x1000) / 16);
    return taken;
}

TEST(BlockFifo, TakingForOneWindowKeepsTheOrderOfEveryOtherMessage) {
    clear_block_messages();
    set_block_hooks(nullptr, nullptr);
    // a1 a2 b3 a4 b5 b6: taking a window's oldest must not reorder what is left, for either
    // window, even though the message taken sits behind two of another window's.
    for (std::uintptr_t n = 1; n <= 6; ++n)
        post_block_message(n == 1 || n == 2 || n == 4 ? &g_window_a : &g_window_b, 7, header(n));
    EXPECT_EQ(take_all(&g_window_b, 1), (std::vector<std::uintptr_t>{7003}));
    EXPECT_EQ(take_all(&g_window_a), (std::vector<std::uintptr_t>{7001, 7002, 7004}));
    EXPECT_EQ(take_all(&g_window_b), (std::vector<std::uintptr_t>{7005, 7006}));
}

TEST(BlockFifo, GrowsPastItsFirstRoomWithoutLosingOrReorderingAMessage) {
    clear_block_messages();
    // Start the ring part-way round so growth must unwrap it.
    for (std::uintptr_t n = 0; n < 40; ++n)
        post_block_message(&g_window_a, 1, header(n));
    take_all(&g_window_a);
    std::vector<std::uintptr_t> expected;
    for (std::uintptr_t n = 0; n < 300; ++n) {
        post_block_message(n % 3 ? &g_window_a : &g_window_b, 2, header(n));
        if (n % 3)
            expected.push_back(2000 + n);
    }
    EXPECT_EQ(take_all(&g_window_a), expected);
    EXPECT_EQ(take_all(&g_window_b).size(), 100u);
}

} // namespace
