#include "capture/capture.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "live_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int g_window_token;
void *const kWindow = &g_window_token;

// Skips (or, when the test command demands the services, fails) without a sound server.
#define REQUIRE_SOUND_SERVER()                                                                     \
    do {                                                                                           \
        if (!std::getenv("SONAVEX_SOUND_DIR") || !std::getenv("PULSE_SERVER")) {                   \
            const char *required = std::getenv("SONAVEX_REQUIRE_SERVICES");                        \
            if (required && std::string(required) == "1") {                                        \
                FAIL() << "SONAVEX_SOUND_DIR and PULSE_SERVER must name the test sound server";    \
            }                                                                                      \
            GTEST_SKIP() << "no sound server in the environment";                                  \
        }                                                                                          \
    } while (0)

int run_script(const std::string &arguments) {
    const std::string command =
        std::string(SONAVEX_SOURCE_DIR) + "/scripts/sound-server.sh " + arguments + " >/dev/null";
    return std::system(command.c_str());
}

// Threads of this process that belong to a capture device: the device's own, and the
// sound library's event thread.
int capture_threads() {
    int threads = 0;
    if (DIR *tasks = opendir("/proc/self/task")) {
        while (const dirent *entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::string name;
            std::ifstream(std::string("/proc/self/task/") + entry->d_name + "/comm") >> name;
            threads += name == "sonavex-capture" || name == "threaded-ml";
        }
        closedir(tasks);
    }
    return threads;
}

// The strongest frequency between 100 and 2000 Hz in the history, to the nearest hertz.
int strongest_frequency(const std::int16_t *history) {
    int best = 0;
    double best_power = -1;
    for (int hz = 100; hz <= 2000; ++hz) {
        const double step = 2 * M_PI * hz / 22050.0;
        double re = 0;
        double im = 0;
        for (int n = 0; n < kHistorySamples; ++n) {
            re += history[n] * std::cos(step * n);
            im += history[n] * std::sin(step * n);
        }
        if (re * re + im * im > best_power) {
            best_power = re * re + im * im;
            best = hz;
        }
    }
    return best;
}

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char *name, const std::string &value) : name_(name) {
        if (const char *old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char *name_;
    std::string old_;
    bool had_ = false;
};

class LiveCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(create_sample_history());
        ASSERT_TRUE(create_display_block());
        build_analysis_tables();
        install_window_loop(kWindow);
    }
    void TearDown() override {
        stop_capture();
        uninstall_window_loop();
        free_display_block();
        free_sample_history();
    }
    bool start() {
        set_capture_running(open_capture(kWindow));
        if (capture_running()) {
            start_capture();
        }
        return capture_running();
    }
};

TEST_F(LiveCapture, RecordsTheToneInRingOrderAtTheBlockRate) {
    REQUIRE_SOUND_SERVER();
    ASSERT_EQ(run_script(std::string("play ") + std::getenv("SONAVEX_SOUND_DIR") + " 440"), 0);
    RecordingWaveInput device;
    ASSERT_TRUE(start());
    ASSERT_TRUE(run_window_until(
        kWindow, [&] { return device.delivered() >= 48; }, 10s));

    EXPECT_EQ(capture_threads(), 2);
    const auto deliveries = device.deliveries();
    const auto adds = device.adds();
    ASSERT_GE(adds.size(), 8u);
    for (std::size_t n = 0; n < 48; ++n) {
        ASSERT_EQ(deliveries[n].header, adds[n % 8].header) << "delivery " << n;
    }
    // The first blocks may come in a burst while the stream fills; the steady rate after.
    const double mean_ms =
        std::chrono::duration<double, std::milli>(deliveries[47].time - deliveries[7].time)
            .count() /
        40;
    EXPECT_NEAR(mean_ms, 1024 * 1000.0 / 22050, 4.6);
    EXPECT_NEAR(strongest_frequency(sample_history()), 440, 2);
    EXPECT_TRUE(capture_running());

    // The window stalls for 1.5 s, far longer than the ring holds. The device drops what
    // it has no buffer for, so afterwards the window gets current blocks at the block
    // rate, not a backlog of the stall delivered in a burst.
    std::this_thread::sleep_for(1500ms);
    const std::size_t before_resume = device.delivered();
    run_window_until(
        kWindow, [] { return false; }, 300ms);
    EXPECT_LE(device.delivered() - before_resume, 8u + 300 / 46 + 2);
    EXPECT_TRUE(capture_running());

    // Stopping takes every queued buffer back and ends the device's thread.
    stop_capture();
    const std::size_t delivered = device.delivered();
    std::map<WaveHeader *, int> outstanding;
    for (const auto &add : device.adds()) {
        ++outstanding[add.header];
    }
    for (const auto &delivery : device.deliveries()) {
        --outstanding[delivery.header];
    }
    for (const auto &header : outstanding) {
        EXPECT_EQ(header.second, 0) << "a buffer the device kept";
    }
    EXPECT_EQ(capture_threads(), 0);
    run_window_until(
        kWindow, [] { return false; }, 200ms);
    EXPECT_EQ(device.delivered(), delivered);
}

TEST_F(LiveCapture, OpenFailsAtOnceWithoutAServerOrForAnotherFormat) {
    {
        ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/sonavex/native");
        const auto began = Clock::now();
        EXPECT_FALSE(start());
        EXPECT_LT(Clock::now() - began, 2s);
        EXPECT_FALSE(capture_running());
    }
    // Only the capture format is taken; the device says so before any server is asked.
    CaptureFormat stereo = {1, 2, 22050, 88200, 4, 16, 0};
    WaveHandle device = nullptr;
    EXPECT_NE(platform_wave_input().open(&device, &stereo, capture_callback, 0), 0u);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(capture_threads(), 0);
}

// A failing sound server, on a private server of the test's own: capture must stop by
// itself, promptly, through a failed re-queue.
TEST_F(LiveCapture, LosingTheServerOrEverySourceStopsCaptureWithinASecond) {
    REQUIRE_SOUND_SERVER();
    for (const bool kill_server : {true, false}) {
        SCOPED_TRACE(kill_server ? "server killed" : "sources removed");
        char pattern[] = "/tmp/sonavex-capture-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        const std::string dir = pattern;
        ASSERT_EQ(run_script("start " + dir), 0);
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir + "/run");
        ScopedEnv server("PULSE_SERVER", "unix:" + dir + "/run/pulse/native");
        run_script("play " + dir + " 440");
        int pid = 0;
        std::ifstream(dir + "/server.pid") >> pid;
        ASSERT_GT(pid, 0);

        RecordingWaveInput device;
        ASSERT_TRUE(start());
        ASSERT_TRUE(run_window_until(
            kWindow, [&] { return device.delivered() >= 5; }, 10s));
        const auto broken = Clock::now();
        if (kill_server) {
            kill(pid, SIGKILL);
        } else {
            // The virtual microphone and the sink whose monitor it is: no source is left.
            std::system("pactl unload-module module-null-sink");
        }
        const bool stopped = run_window_until(
            kWindow, [] { return !capture_running(); }, 3s);
        const auto took = Clock::now() - broken;
        const bool opens_again = start();
        stop_capture();
        run_script("stop " + dir);
        std::system(("rm -rf '" + dir + "'").c_str());

        ASSERT_TRUE(stopped);
        EXPECT_LT(took, 1s);
        EXPECT_EQ(capture_threads(), 0);
        // Without a server a new open fails; a server without sources may still accept
        // the stream (it waits for a source), and then it stops cleanly as well.
        if (kill_server) {
            EXPECT_FALSE(opens_again);
        }
    }
}

} // namespace
