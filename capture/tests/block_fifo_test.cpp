#include "capture/block_fifo.h"
#include "capture/block_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

WaveHeader *header_number(std::uintptr_t n) { return reinterpret_cast<WaveHeader *>(n * 64); }

TEST(BlockFifo, KeepsEachWindowsMessagesInOrderBeyondItsFirstRoom) {
    int first_window = 0;
    int second_window = 0;
    clear_block_messages();
    for (std::uintptr_t n = 1; n <= 300; ++n) {
        post_block_message(n % 3 ? &first_window : &second_window, n, header_number(n));
    }
    std::uintptr_t run = 0;
    WaveHeader *header = nullptr;
    for (std::uintptr_t n = 3; n <= 300; n += 3) {
        ASSERT_TRUE(take_block_message(&second_window, &run, &header));
        ASSERT_EQ(run, n);
        ASSERT_EQ(header, header_number(n));
    }
    EXPECT_FALSE(take_block_message(&second_window, &run, &header));
    for (std::uintptr_t n = 1; n <= 300; ++n) {
        if (n % 3) {
            ASSERT_TRUE(take_block_message(&first_window, &run, &header));
            ASSERT_EQ(run, n);
        }
    }
    EXPECT_FALSE(take_block_message(&first_window, &run, &header));

    post_block_message(&first_window, 1, header_number(1));
    clear_block_messages();
    EXPECT_FALSE(take_block_message(&first_window, &run, &header));
}

// One thread posts, the window's thread takes; every message arrives once, in order, and
// each post queues exactly one wake-up.
std::atomic<int> g_wakeups{0};
std::atomic<int> g_repaints{0};

TEST(BlockFifo, CarriesMessagesBetweenThreadsWithOneWakeupEach) {
    int window = 0;
    clear_block_messages();
    g_wakeups = 0;
    g_repaints = 0;
    set_block_hooks([](void *) { ++g_wakeups; }, [](void *) { ++g_repaints; });
    constexpr std::uintptr_t kCount = 20000;
    std::thread device([&window] {
        for (std::uintptr_t n = 1; n <= kCount; ++n) {
            post_block_message(&window, n, header_number(n));
        }
    });
    std::uintptr_t expected = 1;
    while (expected <= kCount) {
        std::uintptr_t run = 0;
        WaveHeader *header = nullptr;
        if (take_block_message(&window, &run, &header)) {
            ASSERT_EQ(run, expected);
            ASSERT_EQ(header, header_number(expected));
            ++expected;
        }
    }
    device.join();
    EXPECT_EQ(g_wakeups.load(), static_cast<int>(kCount));
    // A wake-up that finds nothing waiting only asks for a repaint.
    on_block_wakeup(&window);
    EXPECT_EQ(g_repaints.load(), 1);
    set_block_hooks(nullptr, nullptr);
}

} // namespace
