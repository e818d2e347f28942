// Times real_transform in steady state against FFTW's RODFT10 plan (the same transform:
// FFTW's Y[k-1] / 2 is our a[k], and Y[n-1] / 2 our a[0]) at the program's two sizes, in one
// binary and one run, on the same input with the same copy-in loop. Checks first that the
// two agree, and ends with the ratios of the median times. On a shared machine the CPU-time
// ratio is the one to read: real time also counts the moments other processes held the core.
//
//     build/bench/sonavex_fft_bench
//
// runs ten interleaved repetitions of each case; any Google Benchmark flag given on the
// command line overrides those defaults.

#include "fft/fft.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const int sizes[] = {2048, 8192};

// A windowed-sample-like input: full-scale noise.
std::vector<double> make_input(int n) {
    std::mt19937 gen(n);
    std::uniform_real_distribution<double> dist(-32768.0, 32767.0);
    std::vector<double> x(n);
    for (double &v : x) {
        v = dist(gen);
    }
    return x;
}

// One size's buffers and work areas, kept for the whole run like the program keeps its own.
struct Case {
    explicit Case(int size)
        : n(size), input(make_input(size)), buffer(fftw_alloc_real(size)),
          index(work_index_entries(size), 0), table(work_table_entries(size)) {}
    int n;
    std::vector<double> input;
    double *buffer;
    std::vector<int> index;
    std::vector<double> table;
};

std::map<int, Case *> cases;

void bench_real_transform(benchmark::State &state, int n) {
    Case &c = *cases.at(n);
    for (auto _ : state) {
        std::copy(c.input.begin(), c.input.end(), c.buffer);
        real_transform(n, -1, c.buffer, c.index.data(), c.table.data());
        benchmark::DoNotOptimize(c.buffer);
        benchmark::ClobberMemory();
    }
}

void bench_fftw(benchmark::State &state, int n, fftw_plan plan) {
    Case &c = *cases.at(n);
    for (auto _ : state) {
        std::copy(c.input.begin(), c.input.end(), c.buffer);
        fftw_execute(plan);
        benchmark::DoNotOptimize(c.buffer);
        benchmark::ClobberMemory();
    }
}

// Largest difference between real_transform and the FFTW plan, relative to the largest
// coefficient.
double disagreement(Case &c, fftw_plan plan) {
    std::vector<double> ours = c.input;
    real_transform(c.n, -1, ours.data(), c.index.data(), c.table.data());
    std::copy(c.input.begin(), c.input.end(), c.buffer);
    fftw_execute(plan);
    double err = 0;
    double scale = 0;
    for (int k = 0; k < c.n; ++k) {
        const double theirs = c.buffer[(k + c.n - 1) % c.n] / 2;
        err = std::max(err, std::abs(ours[k] - theirs));
        scale = std::max(scale, std::abs(theirs));
    }
    return err / scale;
}

} // namespace

int main(int argc, char **argv) {
    if (!init_benchmarks(argc, argv))
        return 1;

    std::vector<std::pair<std::string, fftw_plan>> plans;
    bool agree = true;
    for (int n : sizes) {
        Case *c = new Case(n);
        cases[n] = c;
        // Planning with FFTW_MEASURE overwrites the buffer; the copy-in loop refills it.
        fftw_plan measure = fftw_plan_r2r_1d(n, c->buffer, c->buffer, FFTW_RODFT10, FFTW_MEASURE);
        fftw_plan estimate = fftw_plan_r2r_1d(n, c->buffer, c->buffer, FFTW_RODFT10, FFTW_ESTIMATE);
        const double diff = disagreement(*c, measure);
        std::printf("n = %d: real_transform and FFTW RODFT10 differ by %.2e of the largest "
                    "coefficient\n",
                    n, diff);
        agree = agree && diff < 1e-12;
        benchmark::RegisterBenchmark("real_transform", bench_real_transform, n)->Arg(n);
        benchmark::RegisterBenchmark("fftw_rodft10_measure", bench_fftw, n, measure)->Arg(n);
        benchmark::RegisterBenchmark("fftw_rodft10_estimate", bench_fftw, n, estimate)->Arg(n);
        plans.emplace_back("measure", measure);
        plans.emplace_back("estimate", estimate);
    }
    if (!agree) {
        std::printf("real_transform disagrees with FFTW\n");
        return 1;
    }

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    for (int n : sizes) {
        const std::string arg = "/" + std::to_string(n);
        const std::string ours = "real_transform" + arg;
        for (const char *peer : {"fftw_rodft10_measure", "fftw_rodft10_estimate"}) {
            const std::string theirs = peer + arg;
            if (reporter.cpu_time(ours) > 0 && reporter.cpu_time(theirs) > 0) {
                std::printf("n = %d: real_transform / %s = %.3f (CPU time), %.3f (real time)\n", n,
                            peer, reporter.cpu_time(ours) / reporter.cpu_time(theirs),
                            reporter.real_time(ours) / reporter.real_time(theirs));
            }
        }
    }

    benchmark::Shutdown();
    for (auto &p : plans) {
        fftw_destroy_plan(p.second);
    }
    for (auto &c : cases) {
        fftw_free(c.second->buffer);
        delete c.second;
    }
    fftw_cleanup();
    return 0;
}
