// Times one spectrum frame (render_frame) in steady state, in note mode and in linear mode,
// beside the transforms it runs (one 8192-point and one 2048-point real_transform), in one
// binary and one run, and ends with the frame's cost relative to its transforms:
//
//     build/bench/sonavex_frame_bench
//
// runs ten interleaved repetitions of each case; any Google Benchmark flag given on the
// command line overrides those defaults.

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "fft/fft.h"

#include "bench_support.h"
#include "music_history.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

void bench_frame(benchmark::State &state, unsigned flags) {
    render_frame(flags); // the first frame of a size builds its transform tables
    for (auto _ : state) {
        render_frame(flags);
        benchmark::ClobberMemory();
    }
}

// The transform alone, in place on a windowed-sample-like input, with its own work areas. The
// unnormalised coefficients grow with every pass over the same data, so the input is put
// back, outside the timing, before they could overflow.
void bench_transform(benchmark::State &state, int n) {
    std::mt19937 gen(n);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> input(n), a(n), table(work_table_entries(n));
    std::vector<int> work(work_index_entries(n), 0);
    for (double &v : input) {
        v = dist(gen);
    }
    a = input;
    real_transform(n, -1, a.data(), work.data(), table.data());
    int passes = 0;
    for (auto _ : state) {
        if (++passes == 32) {
            state.PauseTiming();
            a = input;
            passes = 0;
            state.ResumeTiming();
        }
        real_transform(n, -1, a.data(), work.data(), table.data());
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char **argv) {
    if (!init_benchmarks(argc, argv))
        return 1;

    if (!set_up_engine())
        return 1;
    fill_history();

    benchmark::RegisterBenchmark("render_frame_note", bench_frame, kNoteMode | kScopeMode);
    benchmark::RegisterBenchmark("render_frame_linear", bench_frame, kScopeMode);
    benchmark::RegisterBenchmark("real_transform_8192", bench_transform, 8192);
    benchmark::RegisterBenchmark("real_transform_2048", bench_transform, 2048);

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double note = reporter.cpu_time("render_frame_note");
    const double linear = reporter.cpu_time("render_frame_linear");
    const double long_transform = reporter.cpu_time("real_transform_8192");
    const double short_transform = reporter.cpu_time("real_transform_2048");
    if (note > 0 && long_transform > 0 && short_transform > 0) {
        std::printf("note-mode frame / (8192 + 2048 transforms) = %.2f (target at most 1.3)\n",
                    note / (long_transform + short_transform));
    }
    if (linear > 0 && short_transform > 0) {
        std::printf("linear-mode frame / 2048 transform = %.2f (target at most 1.3)\n",
                    linear / short_transform);
    }

    benchmark::Shutdown();
    free_sample_history();
    free_display_block();
    return 0;
}
