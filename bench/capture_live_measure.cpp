// Runs live capture from the default source for a while, the window's side on this thread
// with the real analysis, and reports how every delivered block was handled: analysed,
// drained, or lost, and how long each buffer stayed away from the device between its
// delivery and its re-queue.
//
//   sonavex_capture_live_measure [seconds [stall_ms]]
//
// bench/measure_capture_live.sh runs it against a private sound server playing a tone.
//
// seconds defaults to 60; the source should play a steady tone. With stall_ms the window's
// thread also stalls that long after every 50th analysed block, as a busy window would, so
// that blocks pile up and are drained.

#include "capture/block_fifo.h"
#include "capture/block_messages.h"
#include "capture/capture.h"
#include "capture_recorder.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

// Counts C++ allocations, to show that none happen while capture runs.
static std::atomic<long> g_allocations{0};

void *operator new(std::size_t size) {
    ++g_allocations;
    if (void *p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

int g_window_token;
void *const kWindow = &g_window_token;

std::mutex g_lock;
std::condition_variable g_woken;
int g_pending = 0;

void queue_wakeup(void *) {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_pending;
    g_woken.notify_all();
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const int stall_ms = argc > 2 ? std::atoi(argv[2]) : 0;
    if (!create_sample_history() || !create_display_block()) {
        std::fprintf(stderr, "cannot allocate the history or the display block\n");
        return 1;
    }
    build_analysis_tables();
    set_view_flags(kNoteMode | kScopeMode);
    set_block_hooks(queue_wakeup, nullptr);

    const std::size_t room = static_cast<std::size_t>(seconds * 25) + 64;
    RecordingWaveInput device(room, true);
    set_capture_running(open_capture(kWindow));
    if (!capture_running()) {
        std::fprintf(stderr, "the sound server refused the capture stream\n");
        return 1;
    }
    start_capture();

    // When the window's thread took each block message: splits the gap into the wait for
    // the window's thread and the handling up to the re-queue.
    std::vector<Clock::time_point> taken;
    taken.reserve(room);
    long analysed = 0;
    long drained = 0;
    long allocations_running = -1;
    double slowest_handling_ms = 0;
    const auto began = Clock::now();
    const auto end = began + std::chrono::duration<double>(seconds);
    std::unique_lock<std::mutex> hold(g_lock);
    while (capture_running() && Clock::now() < end) {
        if (!g_woken.wait_until(hold, end, [] { return g_pending > 0; })) {
            break;
        }
        --g_pending;
        hold.unlock();
        if (allocations_running < 0 && Clock::now() - began > std::chrono::seconds(1)) {
            allocations_running = g_allocations.load();
        }
        // What on_block_wakeup does, with the re-queues counted: the first belongs to the
        // analysed block, the rest to the drain.
        std::uintptr_t run = 0;
        WaveHeader *header = nullptr;
        const auto take = Clock::now();
        if (take_block_message(kWindow, &run, &header)) {
            if (taken.size() < taken.capacity()) {
                taken.push_back(take);
            }
            const bool was_running = capture_running();
            const std::size_t adds_before = device.added();
            const auto handling = Clock::now();
            on_block_arrived(kWindow, run, header);
            slowest_handling_ms = std::max(slowest_handling_ms, ms(Clock::now() - handling));
            const std::size_t requeued = device.added() - adds_before;
            analysed += was_running;
            if (stall_ms > 0 && analysed % 50 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(stall_ms));
            }
            drained += requeued > 1 ? static_cast<long>(requeued) - 1 : 0;
        }
        hold.lock();
    }
    hold.unlock();
    const long allocations_after = g_allocations.load();
    const auto ran = Clock::now() - began;
    const bool still_running = capture_running();
    stop_capture();

    // Gap between each delivery and the buffer's next re-queue, and how many buffers the
    // device held at each delivery.
    const auto deliveries = device.deliveries();
    const auto adds = device.adds();
    std::vector<double> gaps;
    std::vector<double> waits;    // delivery to the window's taking the message
    std::vector<double> handling; // taking the message to the re-queue
    std::size_t t = 0;
    std::map<WaveHeader *, Clock::time_point> delivered_at;
    int fewest_queued = 8;
    std::size_t a = 0;
    std::size_t steady_deliveries = 0;
    for (std::size_t d = 0; d <= deliveries.size(); ++d) {
        const bool more = d < deliveries.size();
        while (a < adds.size() && (!more || adds[a].time <= deliveries[d].time)) {
            const auto found = delivered_at.find(adds[a].header);
            if (found != delivered_at.end()) {
                gaps.push_back(ms(adds[a].time - found->second));
                while (t + 1 < taken.size() && taken[t + 1] <= adds[a].time) {
                    ++t;
                }
                if (t < taken.size() && taken[t] >= found->second && taken[t] <= adds[a].time) {
                    waits.push_back(ms(taken[t] - found->second));
                    handling.push_back(ms(adds[a].time - taken[t]));
                }
                delivered_at.erase(found);
            }
            ++a;
        }
        if (!more || deliveries[d].by_reset) {
            continue;
        }
        ++steady_deliveries;
        delivered_at[deliveries[d].header] = deliveries[d].time;
        fewest_queued = std::min(fewest_queued, static_cast<int>(a) - static_cast<int>(d) - 1);
    }
    std::sort(gaps.begin(), gaps.end());
    std::sort(waits.begin(), waits.end());
    std::sort(handling.begin(), handling.end());

    // Continuity of the recorded tone: a lost block breaks the sine's recurrence
    // x[n+1] = 2 cos(w) x[n] - x[n-1] at a block boundary. The tone's frequency comes from
    // the zero crossings.
    const auto samples = device.samples();
    long crossings = 0;
    for (std::size_t n = 1; n < samples.size(); ++n) {
        crossings += (samples[n - 1] < 0) != (samples[n] < 0);
    }
    const double tone_hz = crossings / 2.0 / (samples.size() / 22050.0);
    const double c = 2 * std::cos(2 * M_PI * tone_hz / 22050);
    double worst_inside = 0;
    double worst_boundary = 0;
    // The first blocks are left out: the stream may begin before the tone does.
    for (std::size_t n = 8 * 1024; n < samples.size(); ++n) {
        const double miss = std::fabs(samples[n] - (c * samples[n - 1] - samples[n - 2]));
        double &worst = (n % 1024 == 0 || n % 1024 == 1) ? worst_boundary : worst_inside;
        worst = std::max(worst, miss);
    }

    const double expected_blocks = ms(ran) / (1024 * 1000.0 / 22050);
    std::printf("ran %.1f s, capture %s\n", ms(ran) / 1000,
                still_running ? "running to the end" : "STOPPED");
    std::printf("delivered %zu blocks (%.1f expected from the clock), analysed %ld, drained "
                "%ld, handled %ld, returned by the final reset %zu\n",
                steady_deliveries, expected_blocks, analysed, drained, analysed + drained,
                deliveries.size() - steady_deliveries);
    if (!gaps.empty()) {
        std::printf("delivery to re-queue: median %.3f ms, 99th percentile %.3f ms, worst "
                    "%.3f ms (%zu gaps)\n",
                    gaps[gaps.size() / 2], gaps[gaps.size() * 99 / 100], gaps.back(), gaps.size());
    }
    if (!waits.empty()) {
        std::printf("  of which waiting for the window's thread: median %.3f ms, worst %.3f ms; "
                    "taking the message to the re-queue: median %.3f ms, worst %.3f ms\n",
                    waits[waits.size() / 2], waits.back(), handling[handling.size() / 2],
                    handling.back());
    }
    std::printf("slowest block handling (analysis included): %.3f ms\n", slowest_handling_ms);
    std::printf("fewest buffers left with the device at a delivery: %d\n", fewest_queued);
    std::printf("tone %.1f Hz; worst recurrence miss inside blocks %.0f, at block boundaries "
                "%.0f\n",
                tone_hz, worst_inside, worst_boundary);
    std::printf("C++ allocations while running: %ld\n",
                allocations_running < 0 ? 0 : allocations_after - allocations_running);
    set_block_hooks(nullptr, nullptr);
    return still_running ? 0 : 1;
}
