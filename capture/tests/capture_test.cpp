#include "fake_wave_input.h"
#include "window_harness.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Spectrogram rows drawn so far: every analysed block writes one non-black row.
int analysed_frames() {
    const unsigned char *plane = display_planes() + kSpectrogramPlane * kPlaneBytes;
    int rows = 0;
    for (const unsigned char *row = plane; row < plane + kPlaneBytes; row += kPlaneWidth) {
        rows += std::any_of(row, row + kPlaneWidth, [](unsigned char p) { return p != 0; });
    }
    return rows;
}

// Each history block's value, or -1 where a block is not one value throughout.
std::vector<int> history_blocks() {
    std::vector<int> blocks;
    for (const std::int16_t *b = sample_history(); blocks.size() < kRingBuffers;
         b += kBlockSamples) {
        const bool even =
            std::all_of(b, b + kBlockSamples, [b](std::int16_t s) { return s == *b; });
        blocks.push_back(even ? *b : -1);
    }
    return blocks;
}

std::string ops(const FakeWaveInput &device, std::size_t from = 0) {
    const std::vector<FakeWaveInput::Call> calls = device.calls();
    std::string names;
    for (std::size_t n = from; n < calls.size(); ++n) {
        names += (n > from ? " " : "") + calls[n].op;
    }
    return names;
}
const std::string kStopOps = "stop reset unprepare unprepare unprepare unprepare unprepare "
                             "unprepare unprepare unprepare close";

// Buffer blocks in use; the allocator can refuse, or hand out the same memory every time
// so that a new run's headers sit exactly where the last run's did.
int g_live_blocks;
bool g_refuse_block;
bool g_same_memory;
alignas(16) char g_block[8 * (256 + kBlockBytes)];
void *allocate_block(std::size_t count, std::size_t size) {
    if (g_refuse_block || count * size > sizeof g_block) {
        return nullptr;
    }
    ++g_live_blocks;
    return g_same_memory ? std::memset(g_block, 0, count * size) : std::calloc(count, size);
}
void release_block(void *block) {
    --g_live_blocks;
    if (block != g_block) {
        std::free(block);
    }
}

class Ring : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        g_live_blocks = 0;
        g_refuse_block = g_same_memory = false;
        use_buffer_allocator(allocate_block, release_block);
    }
    void TearDown() override {
        WindowTest::TearDown();
        use_buffer_allocator(nullptr, nullptr);
    }
    // The eight headers of the run started after call `from`, in ring order.
    std::vector<WaveHeader *> ring(std::size_t from = 0) const {
        std::vector<WaveHeader *> added = device.adds_since(from);
        added.resize(kRingBuffers);
        return added;
    }
    FakeWaveInput device;
};

TEST_F(Ring, WaitingBlocksAreRequeuedInOrderAfterOneAnalysis) {
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> headers = ring();
    for (std::int16_t value : {10, 11, 12}) {
        ASSERT_TRUE(device.deliver(value));
    }
    const std::size_t before = device.calls().size();
    run_window();

    // One analysis, of the oldest: the first history after a start is silence, then block 0.
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 10}));
    EXPECT_EQ(device.adds_since(before), (std::vector<WaveHeader *>(&headers[0], &headers[3])));
    EXPECT_EQ(device.queued(), 8u);
    EXPECT_EQ(g_repaints, 3); // the later wake-ups found their messages drained

    // The drained blocks are in the next history, from the ring's copies: the device is
    // already writing a new block into buffer 0 when buffer 3 arrives.
    std::memset(wave_header_data(headers[0]), 0x7f, 100);
    ASSERT_TRUE(device.deliver(13));
    run_window();
    EXPECT_EQ(analysed_frames(), 2);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 10, 11, 12, 13}));
}

TEST_F(Ring, PauseAndCloseCallTheDeviceOnlyWhileItIsOpen) {
    device.fail("open", 1);
    EXPECT_FALSE(start());
    stop_capture(); // paused after the failed open, then the window closes
    stop_capture();
    EXPECT_EQ(ops(device), "open");

    ASSERT_TRUE(start()); // releasing the button again tries afresh
    ASSERT_TRUE(device.deliver(5));
    stop_capture();
    const std::size_t calls = device.calls().size();
    run_window(); // the delivered block and the seven the reset returned: repaints only
    stop_capture();
    EXPECT_EQ(device.calls().size(), calls);
    EXPECT_EQ(g_repaints, 8);
    EXPECT_EQ(analysed_frames(), 0);
    EXPECT_EQ(g_live_blocks, 0);
}

TEST_F(Ring, FailedRequeueStopsCaptureAfterDrawingTheFrame) {
    device.fail("add", 9); // the first re-queue
    ASSERT_TRUE(start());
    ASSERT_TRUE(device.deliver(20));
    ASSERT_TRUE(device.deliver(21));
    const std::size_t before = device.calls().size();
    run_window();

    EXPECT_FALSE(capture_running());
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 20}));
    // No drain: buffer 1 is never offered again.
    EXPECT_EQ(ops(device, before), "prepare add " + kStopOps);
    EXPECT_EQ(g_live_blocks, 0);
    EXPECT_EQ(g_repaints, 1 + 1 + 6); // then buffer 1 and the six the reset returned
}

TEST_F(Ring, EveryStartFailureReleasesEverything) {
    for (const std::string op : {"alloc", "start", "prepare", "add"}) {
        for (int k = 1; k <= (op == "prepare" || op == "add" ? kRingBuffers : 1); ++k) {
            SCOPED_TRACE(op + " " + std::to_string(k));
            FakeWaveInput fresh;
            fresh.fail(op, k);
            g_refuse_block = op == "alloc";
            EXPECT_FALSE(start());

            std::string expected = "open";
            for (int n = 1; n <= (op == "alloc" ? 0 : kRingBuffers); ++n) {
                expected += op == "prepare" && n == k ? " prepare" : " prepare add";
                if ((op == "prepare" || op == "add") && n == k) {
                    break;
                }
            }
            expected += op == "alloc" ? " close" : (op == "start" ? " start " : " ") + kStopOps;
            EXPECT_EQ(ops(fresh), expected);
            EXPECT_EQ(g_live_blocks, 0);
            run_window(); // the stopped ring ignores what the reset returned
            stop_capture();
            EXPECT_EQ(ops(fresh), expected);
        }
    }
}

TEST_F(Ring, StaleAndForeignMessagesAreIgnoredAfterARestart) {
    g_same_memory = true;
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> old_ring = ring();
    ASSERT_TRUE(device.deliver(28));
    ASSERT_TRUE(device.deliver(29));
    run_window(); // the old run's samples are in slots 0 and 1 now
    ASSERT_TRUE(device.deliver(30));
    ASSERT_TRUE(device.deliver(31));
    stop_capture(); // the reset posts the other six; none of the eight has been handled

    const std::size_t restart = device.calls().size();
    ASSERT_TRUE(start());
    ASSERT_EQ(ring(restart), old_ring); // same memory, same header addresses
    // Headers that are not the ring's, of the current run, before and behind a real block:
    // reading through one would crash.
    WaveHeader *foreign = reinterpret_cast<WaveHeader *>(std::uintptr_t{16});
    post_block_message(kWindow, wave_header_user(old_ring[0]), foreign);
    ASSERT_TRUE(device.deliver(40));
    post_block_message(kWindow, wave_header_user(old_ring[0]), foreign);
    const std::size_t before = device.calls().size();
    run_window();

    // Only the new block was analysed and given back, into a history of silence.
    EXPECT_EQ(analysed_frames(), 2);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 40}));
    EXPECT_EQ(device.adds_since(before), std::vector<WaveHeader *>{old_ring[0]});
    EXPECT_EQ(device.queued(), 8u);
    EXPECT_TRUE(capture_running());
}

TEST_F(Ring, StalledWindowNeverLeavesTheDeviceShortOfBuffers) {
    ASSERT_TRUE(start());
    for (int round = 0; round < 30; ++round) {
        // The window stalls while the device tries to deliver twenty blocks; it can
        // deliver only the buffers it holds.
        int delivered = 0;
        for (int n = 0; n < 20; ++n) {
            delivered += device.deliver(static_cast<std::int16_t>(round));
        }
        EXPECT_EQ(delivered, 8);
        EXPECT_EQ(g_wakeups, 8);
        run_window();
        EXPECT_EQ(device.queued(), 8u);
        for (int n = 0; n < 5; ++n) { // then it keeps up for a while
            ASSERT_TRUE(device.deliver(1));
            run_window();
            EXPECT_EQ(device.queued(), 8u);
        }
    }
    EXPECT_EQ(analysed_frames(), kPlaneRows);
}

// The device's thread posts while the window's thread takes: every message arrives once
// and in order, with one wake-up each.
TEST_F(Ring, BlockMessagesCrossThreadsInOrder) {
    constexpr std::uintptr_t kCount = 20000;
    auto header = [](std::uintptr_t n) { return reinterpret_cast<WaveHeader *>(n * 64); };
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        for (std::uintptr_t n = 1; n <= kCount; ++n) {
            post_block_message(kWindow, n, header(n));
        }
        posted = true;
    });
    std::uintptr_t run = 0;
    std::uintptr_t next = 1;
    WaveHeader *got = nullptr;
    bool in_order = true;
    for (bool last = false; !last;) { // until a pass that began after the last post
        last = posted;
        while (take_block_message(kWindow, &run, &got)) {
            in_order = in_order && run == next && got == header(next);
            ++next;
        }
    }
    poster.join();
    EXPECT_TRUE(in_order);
    EXPECT_EQ(next, kCount + 1);
    EXPECT_EQ(g_wakeups, static_cast<int>(kCount));
    on_block_wakeup(kWindow); // finds nothing: a repaint only
    EXPECT_EQ(g_repaints, 1);
}

} // namespace
