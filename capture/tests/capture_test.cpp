#include "capture/block_fifo.h"
#include "capture/block_messages.h"
#include "capture/capture.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "fake_wave_input.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_window_token;
void *const kWindow = &g_window_token;
int g_wakeups;  // wake-ups queued to the window and not yet run
int g_repaints; // repaint requests

void count_wakeup(void *) { ++g_wakeups; }
void count_repaint(void *) { ++g_repaints; }

// The window's message loop: runs every queued wake-up.
void run_window() {
    while (g_wakeups > 0) {
        --g_wakeups;
        on_block_wakeup(kWindow);
    }
}

// Spectrogram rows drawn so far: every analysed block writes one non-black row.
int analysed_frames() {
    const unsigned char *plane = display_planes() + kSpectrogramPlane * kPlaneBytes;
    int rows = 0;
    for (int r = 0; r < kPlaneRows; ++r) {
        for (int x = 0; x < kPlaneWidth; ++x) {
            if (plane[r * kPlaneWidth + x] != 0) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

// True when history block k holds `blocks[k]` in every sample.
::testing::AssertionResult history_is(const std::array<std::int16_t, 8> &blocks) {
    const std::int16_t *history = sample_history();
    for (int k = 0; k < kRingBuffers; ++k) {
        for (int s = 0; s < kBlockSamples; ++s) {
            if (history[k * kBlockSamples + s] != blocks[k]) {
                return ::testing::AssertionFailure()
                       << "history block " << k << " sample " << s << " is "
                       << history[k * kBlockSamples + s] << ", expected " << blocks[k];
            }
        }
    }
    return ::testing::AssertionSuccess();
}

std::size_t count_ops(const std::vector<FakeWaveInput::Call> &calls, std::size_t from,
                      const std::string &op) {
    std::size_t n = 0;
    for (std::size_t i = from; i < calls.size(); ++i) {
        n += calls[i].op == op;
    }
    return n;
}

// Counts buffer blocks in use, and can refuse or reuse them.
int g_live_blocks;
bool g_refuse_block;
void *counting_calloc(std::size_t count, std::size_t size) {
    if (g_refuse_block) {
        return nullptr;
    }
    ++g_live_blocks;
    return std::calloc(count, size);
}
void counting_free(void *block) {
    --g_live_blocks;
    std::free(block);
}
// Always hands out the same memory, so a new run's headers sit exactly where the last
// run's did.
alignas(16) char g_same_block[8 * (256 + kBlockBytes)];
void *same_calloc(std::size_t count, std::size_t size) {
    std::memset(g_same_block, 0, count * size);
    return g_same_block;
}
void no_free(void *) {}

class Ring : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(create_sample_history());
        ASSERT_TRUE(create_display_block());
        build_analysis_tables();
        set_view_flags(kNoteMode | kScopeMode);
        set_block_hooks(count_wakeup, count_repaint);
        clear_block_messages();
        g_wakeups = g_repaints = g_live_blocks = 0;
        g_refuse_block = false;
        use_buffer_allocator(counting_calloc, counting_free);
    }

    void TearDown() override {
        stop_capture();
        clear_block_messages();
        set_block_hooks(nullptr, nullptr);
        use_buffer_allocator(nullptr, nullptr);
        free_display_block();
        free_sample_history();
    }

    // What the pause button does when released.
    bool start() {
        set_capture_running(open_capture(kWindow));
        if (capture_running()) {
            start_capture();
        }
        return capture_running();
    }

    // The eight headers of the current run, in ring order (the first eight buffers added).
    std::vector<WaveHeader *> ring(std::size_t from = 0) const {
        std::vector<WaveHeader *> added = device.adds_since(from);
        added.resize(kRingBuffers);
        return added;
    }

    FakeWaveInput device;
};

TEST_F(Ring, WaitingBlocksAreRequeuedUnanalysedAfterOneAnalysis) {
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> headers = ring();
    ASSERT_EQ(device.queued(), 8u);
    ASSERT_TRUE(device.deliver(10));
    ASSERT_TRUE(device.deliver(11));
    ASSERT_TRUE(device.deliver(12));
    const std::size_t before = device.calls().size();

    run_window();

    // One analysis, of the oldest: the first history after a start is silence, then block 0.
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_TRUE(history_is({0, 0, 0, 0, 0, 0, 0, 10}));
    EXPECT_EQ(device.adds_since(before),
              (std::vector<WaveHeader *>{headers[0], headers[1], headers[2]}));
    EXPECT_EQ(device.queued(), 8u);
    // The later wake-ups found their messages drained: a repaint each, nothing else.
    EXPECT_EQ(g_repaints, 3);

    // The drained blocks are part of the next history, in ring order.
    ASSERT_TRUE(device.deliver(13));
    run_window();
    EXPECT_EQ(analysed_frames(), 2);
    EXPECT_TRUE(history_is({0, 0, 0, 0, 10, 11, 12, 13}));
}

TEST_F(Ring, HistoryKeepsDeliveredSamplesWhileTheDeviceRefillsTheBuffer) {
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> headers = ring();
    for (std::int16_t value = 1; value <= 7; ++value) {
        ASSERT_TRUE(device.deliver(value));
        run_window();
    }
    // Buffer 0 is back with the device, which is part way through writing a new block
    // into it when buffer 7 arrives.
    std::memset(wave_header_data(headers[0]), 0x7f, 100);
    ASSERT_TRUE(device.deliver(8));
    run_window();
    EXPECT_TRUE(history_is({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Ring, BlockAfterPauseOnlyRepaintsAndClosingStopsNothingTwice) {
    ASSERT_TRUE(start());
    ASSERT_TRUE(device.deliver(5));
    stop_capture();
    const std::size_t calls = device.calls().size();
    run_window(); // the delivered block, and the seven the reset returned

    EXPECT_EQ(device.calls().size(), calls);
    EXPECT_EQ(g_repaints, 8);
    EXPECT_EQ(analysed_frames(), 0);
    EXPECT_TRUE(history_is({0, 0, 0, 0, 0, 0, 0, 0}));

    // The window closes after the pause: the second stop releases nothing and calls nothing.
    stop_capture();
    EXPECT_EQ(device.calls().size(), calls);
    EXPECT_EQ(g_live_blocks, 0);
}

TEST_F(Ring, FailedRequeueStopsCaptureAfterDrawingTheFrame) {
    device.fail("add", 9); // the first re-queue
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> headers = ring();
    ASSERT_TRUE(device.deliver(20));
    ASSERT_TRUE(device.deliver(21));
    const std::size_t before = device.calls().size();

    run_window();

    EXPECT_FALSE(capture_running());
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_TRUE(history_is({0, 0, 0, 0, 0, 0, 0, 20}));
    // No drain: buffer 1 was never offered again; the device was stopped and closed.
    const std::vector<FakeWaveInput::Call> calls = device.calls();
    EXPECT_EQ(device.adds_since(before), std::vector<WaveHeader *>{headers[0]});
    EXPECT_EQ(count_ops(calls, before, "reset"), 1u);
    EXPECT_EQ(count_ops(calls, before, "unprepare"), 8u);
    EXPECT_EQ(calls.back().op, "close");
    EXPECT_EQ(g_live_blocks, 0);
    // Buffer 1's message and the six returned by the reset: repaints only.
    EXPECT_EQ(g_repaints, 1 + 1 + 6);
}

TEST_F(Ring, FailedOpenLeavesCaptureStoppedWithoutDeviceCalls) {
    device.fail("open", 1);
    EXPECT_FALSE(start());
    stop_capture(); // pause after a failed open, then the window closes
    stop_capture();
    ASSERT_EQ(device.calls().size(), 1u);
    EXPECT_EQ(g_live_blocks, 0);

    // Releasing the button again tries afresh.
    EXPECT_TRUE(start());
    EXPECT_EQ(device.queued(), 8u);
}

TEST_F(Ring, EveryStartFailureReleasesEverything) {
    struct Case {
        std::string op;
        int nth;
    };
    std::vector<Case> cases = {{"alloc", 1}, {"start", 1}};
    for (int k = 1; k <= kRingBuffers; ++k) {
        cases.push_back({"prepare", k});
        cases.push_back({"add", k});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.op + " " + std::to_string(c.nth));
        FakeWaveInput fresh;
        g_refuse_block = c.op == "alloc";
        fresh.fail(c.op, c.nth);

        EXPECT_FALSE(start());
        EXPECT_FALSE(fresh.is_open());
        EXPECT_EQ(g_live_blocks, 0);
        EXPECT_EQ(fresh.calls().back().op, "close");
        const std::size_t closes = count_ops(fresh.calls(), 0, "close");
        EXPECT_EQ(closes, 1u);
        if (c.op == "alloc") {
            EXPECT_EQ(fresh.calls().size(), 2u); // open, close
        } else {
            EXPECT_EQ(count_ops(fresh.calls(), 0, "unprepare"), 8u);
        }
        // The stopped ring ignores what the reset returned and makes no more calls.
        const std::size_t calls = fresh.calls().size();
        run_window();
        stop_capture();
        EXPECT_EQ(fresh.calls().size(), calls);
    }
}

TEST_F(Ring, MessagesOfAStoppedRunAreIgnoredAfterARestart) {
    use_buffer_allocator(same_calloc, no_free);
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
    ASSERT_TRUE(device.deliver(40));
    const std::size_t before = device.calls().size();
    run_window();

    // Only the new run's block was analysed and given back; the first history of the new
    // run is silence and the new block, without the old run's samples.
    EXPECT_EQ(analysed_frames(), 2);
    EXPECT_TRUE(history_is({0, 0, 0, 0, 0, 0, 0, 40}));
    EXPECT_EQ(device.adds_since(before), std::vector<WaveHeader *>{old_ring[0]});
    EXPECT_EQ(device.queued(), 8u);
}

TEST_F(Ring, HeaderOutsideTheRingIsNeitherReadNorRequeued) {
    ASSERT_TRUE(start());
    const std::vector<WaveHeader *> headers = ring();
    const std::size_t calls = device.calls().size();
    const std::uintptr_t run = wave_header_user(headers[0]);
    // Not a header at all: any read through it would crash.
    WaveHeader *foreign = reinterpret_cast<WaveHeader *>(std::uintptr_t{16});

    EXPECT_EQ(on_block_arrived(kWindow, run, foreign), 0);
    ASSERT_TRUE(device.deliver(7));
    post_block_message(kWindow, run, foreign); // waiting behind a real block, for the drain
    g_wakeups = 0;
    on_block_wakeup(kWindow);

    EXPECT_EQ(device.adds_since(calls), std::vector<WaveHeader *>{headers[0]});
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_TRUE(capture_running());
}

TEST_F(Ring, StalledWindowNeverLeavesTheDeviceShortOfBuffers) {
    ASSERT_TRUE(start());
    std::size_t most_waiting = 0;
    for (int round = 0; round < 30; ++round) {
        // The window stalls while the device tries to deliver twenty blocks; it can
        // deliver only the buffers it holds.
        int delivered = 0;
        for (int n = 0; n < 20; ++n) {
            delivered += device.deliver(static_cast<std::int16_t>(round));
        }
        EXPECT_EQ(delivered, 8);
        most_waiting = std::max<std::size_t>(most_waiting, g_wakeups);
        run_window();
        EXPECT_EQ(device.queued(), 8u);

        // Then the window keeps up for a while, one block at a time.
        for (int n = 0; n < 5; ++n) {
            ASSERT_TRUE(device.deliver(1));
            run_window();
            EXPECT_EQ(device.queued(), 8u);
        }
    }
    EXPECT_LE(most_waiting, 8u);
    EXPECT_EQ(analysed_frames(), kPlaneRows);
}

} // namespace
