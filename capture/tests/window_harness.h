#pragma once

#include "capture/block_fifo.h"
#include "capture/block_messages.h"
#include "capture/capture.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"

#include <gtest/gtest.h>

#include <atomic>

// The window's side of the ring for the capture tests: the history, the display and the
// block hooks around each test, with the wake-ups counted for the test to run.
inline int g_window_token;
inline void *const kWindow = &g_window_token;
inline std::atomic<int> g_wakeups{0}; // queued to the window and not yet run
inline std::atomic<int> g_repaints{0};

// The window's message loop: runs the queued wake-ups.
inline void run_window() {
    for (; g_wakeups > 0; --g_wakeups)
        on_block_wakeup(kWindow);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(create_sample_history());
        ASSERT_TRUE(create_display_block());
        build_analysis_tables();
        set_view_flags(kNoteMode | kScopeMode);
        clear_block_messages();
        g_wakeups = g_repaints = 0;
        set_block_hooks([](void *) { ++g_wakeups; }, [](void *) { ++g_repaints; });
    }
    void TearDown() override {
        stop_capture();
        use_wave_input(nullptr);
        set_block_hooks(nullptr, nullptr);
        clear_block_messages();
        free_display_block();
        free_sample_history();
    }
    // What the pause button does when released.
    static bool start() {
        set_capture_running(open_capture(kWindow));
        if (capture_running())
            start_capture();
        return capture_running();
    }
};
