#include "fake_wave_input.h"
#include "window_harness.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every run's buffer block is this memory, so a new run's headers sit exactly where the
// last run's did; the allocator can refuse it.
alignas(16) char g_block[8 * (256 + kBlockBytes)];
int g_live_blocks;
bool g_refuse_block;
void *allocate_block(std::size_t count, std::size_t size) {
    const bool refuse = g_refuse_block || count * size > sizeof g_block;
    g_live_blocks += !refuse;
    return refuse ? nullptr : std::memset(g_block, 0, count * size);
}
WaveHeader *ring_header(int k) {
    return reinterpret_cast<WaveHeader *>(g_block + k * (wave_header_size() + kBlockBytes));
}

// The device calls from call `from` on, each buffer call with its ring position.
std::string ops(const FakeWaveInput &device, std::size_t from = 0) {
    const std::vector<FakeWaveInput::Call> calls = device.calls();
    std::string names;
    for (std::size_t n = from; n < calls.size(); ++n) {
        const auto k = (reinterpret_cast<char *>(calls[n].header) - g_block) /
                       static_cast<std::ptrdiff_t>(wave_header_size() + kBlockBytes);
        names += (n > from ? " " : "") + calls[n].op + (calls[n].header ? std::to_string(k) : "");
    }
    return names;
}
const std::string kStopOps = "stop reset unprepare0 unprepare1 unprepare2 unprepare3 unprepare4 "
                             "unprepare5 unprepare6 unprepare7 close";

// Spectrogram rows drawn so far: every analysed block writes one non-black row.
int analysed_frames() {
    const unsigned char *plane = display_planes() + kSpectrogramPlane * kPlaneBytes;
    int rows = 0;
    for (const unsigned char *row = plane; row < plane + kPlaneBytes; row += kPlaneWidth)
        rows += std::any_of(row, row + kPlaneWidth, [](unsigned char p) { return p != 0; });
    return rows;
}

// Each history block's value, or -1 where a block is not one value throughout.
std::vector<int> history_blocks() {
    std::vector<int> blocks;
    for (const std::int16_t *b = sample_history(); blocks.size() < 8; b += kBlockSamples) {
        const bool even = std::all_of(b, b + kBlockSamples, [b](auto s) { return s == *b; });
        blocks.push_back(even ? *b : -1);
    }
    return blocks;
}

class Ring : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        g_live_blocks = 0, g_refuse_block = false;
        use_buffer_allocator(allocate_block, [](void *) { --g_live_blocks; });
    }
    FakeWaveInput device;
};

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
    EXPECT_EQ(ops(device, before), "prepare0 add0 " + kStopOps); // no drain of buffer 1
    EXPECT_EQ(g_live_blocks, 0);
    EXPECT_EQ(g_repaints, 1 + 1 + 6); // then buffer 1 and the six the reset returned
}

TEST_F(Ring, EveryOpenOrStartFailureReleasesEverything) {
    for (const std::string op : {"open", "alloc", "start", "prepare", "add"}) {
        for (int k = 1; k <= (op == "prepare" || op == "add" ? 8 : 1); ++k) {
            SCOPED_TRACE(op + " " + std::to_string(k));
            FakeWaveInput fresh;
            fresh.fail(op, k);
            g_refuse_block = op == "alloc";
            EXPECT_FALSE(start());
            const std::string log = ops(fresh);
            const std::string tail = op == "open"    ? "open"
                                     : op == "alloc" ? "open close"
                                                     : kStopOps;
            EXPECT_EQ(log.substr(log.size() > tail.size() ? log.size() - tail.size() : 0), tail);
            EXPECT_EQ(g_live_blocks, 0);
            run_window();   // the stopped ring ignores what the reset returned
            stop_capture(); // and pausing or closing the window calls nothing
            EXPECT_EQ(ops(fresh), log);
            EXPECT_EQ(analysed_frames(), 0);
        }
    }
}

TEST_F(Ring, WaitingBlocksAreRequeuedAfterOneAnalysisAndOldRunsIgnored) {
    ASSERT_TRUE(start());
    for (std::int16_t value : {10, 11, 12})
        ASSERT_TRUE(device.deliver(value));
    std::size_t before = device.calls().size();
    run_window();
    // One analysis, of the oldest: the first history after a start is silence, then block 0.
    EXPECT_EQ(analysed_frames(), 1);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 10}));
    EXPECT_EQ(ops(device, before), "prepare0 add0 prepare1 add1 prepare2 add2");
    EXPECT_EQ(g_repaints, 3); // the later wake-ups found their messages drained

    // The drained blocks are in the next history, from the ring's copies: the device is
    // already writing a new block into buffer 0 when buffer 3 arrives.
    std::memset(wave_header_data(ring_header(0)), 0x7f, 100);
    ASSERT_TRUE(device.deliver(13));
    run_window();
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 10, 11, 12, 13}));

    ASSERT_TRUE(device.deliver(30));
    stop_capture(); // the reset posts the other seven, all unhandled
    ASSERT_TRUE(start());
    // Headers that are not the ring's, of the current run, before and behind a real block:
    // reading through one would crash.
    WaveHeader *foreign = reinterpret_cast<WaveHeader *>(std::uintptr_t{16});
    post_block_message(kWindow, wave_header_user(ring_header(0)), foreign);
    ASSERT_TRUE(device.deliver(40));
    post_block_message(kWindow, wave_header_user(ring_header(0)), foreign);
    before = device.calls().size();
    run_window();
    // Only the new block was analysed and given back, into a history of silence.
    EXPECT_EQ(analysed_frames(), 3);
    EXPECT_EQ(history_blocks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 40}));
    EXPECT_EQ(ops(device, before), "prepare0 add0");
    EXPECT_TRUE(capture_running());
}

TEST_F(Ring, StalledWindowNeverLeavesTheDeviceShortOfBuffers) {
    ASSERT_TRUE(start());
    for (int round = 1; round <= 10; ++round) {
        int delivered = 0; // of twenty tries while the window stalls: the buffers it holds
        for (int n = 0; n < 20; ++n)
            delivered += device.deliver(static_cast<std::int16_t>(round));
        EXPECT_EQ(delivered, 8);
        EXPECT_EQ(g_wakeups, 8);
        run_window();
        EXPECT_EQ(device.queued(), 8u);
        EXPECT_EQ(analysed_frames(), round);
    }
}

} // namespace
