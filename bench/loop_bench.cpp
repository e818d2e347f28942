// Times the two transforms, one spectrum frame in note and in linear mode, the readout's
// peak search over a band of each transform (what a frame costs more while the readout
// shows), and the rate converter of what the computer plays (one second of 48 kHz float
// stereo in 10 ms packets, as the Windows program's loopback device gets it) with a plain
// loop and the process's CPU clock, so that it needs no benchmark library and builds for the
// 32-bit x86 core (x87 arithmetic, cmake/linux-i386.cmake) as well as for x86_64; run both
// side by side with bench/measure_x86.sh. Prints one line per case: the median over 15
// rounds of the CPU time of one call, in microseconds.
//
//     BUILD/sonavex_loop_bench [rounds]

#include "capture/rate_converter.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/peak.h"
#include "fft/fft.h"

#include "music_history.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

// CPU time of one call of `run`, median over `rounds` rounds of `calls` calls each.
template <typename F> double median_us(int rounds, int calls, F run) {
    std::vector<double> each;
    for (int round = 0; round < rounds; ++round) {
        const std::clock_t start = std::clock();
        for (int i = 0; i < calls; ++i)
            run(i);
        each.push_back(1e6 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / calls);
    }
    std::nth_element(each.begin(), each.begin() + rounds / 2, each.end());
    return each[rounds / 2];
}

// The transform in place on random input with its own work areas; the input is put back
// every 32 calls, before the unnormalised coefficients could grow without bound (the copy
// is timed too: about 1 % of one transform).
double transform_us(int rounds, int n) {
    std::mt19937 gen(n);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> input(n), a(n), table(work_table_entries(n));
    std::vector<int> work(work_index_entries(n), 0);
    for (double &v : input)
        v = dist(gen);
    a = input;
    real_transform(n, -1, a.data(), work.data(), table.data()); // builds the tables
    const double us = median_us(rounds, 20000 * 2048 / n / 4, [&](int i) {
        if (i % 32 == 0)
            a = input;
        real_transform(n, -1, a.data(), work.data(), table.data());
    });
    if (!std::isfinite(a[1]))
        std::abort(); // the results are used, so no call is left out
    return us;
}

// One second of a 1 kHz tone at 48 kHz float stereo, converted in 10 ms packets.
double converter_us(int rounds) {
    const MixFormat format = {48000, 2, 32, SampleKind::Float};
    std::vector<float> input(2 * format.rate);
    for (std::size_t n = 0; n < input.size(); ++n)
        input[n] =
            static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 1000 * (n / 2) / 48000));
    RateConverter converter;
    converter.open(format);
    std::int16_t block[1024];
    long sum = 0;
    const double us = median_us(rounds, 2, [&](int) {
        for (std::size_t done = 0; done < format.rate;) {
            std::size_t made = 0;
            done += converter.convert(&input[2 * done], 480, block, 1024, &made);
            sum += block[0];
        }
    });
    if (sum == 12345678)
        std::abort(); // the results are used, so no call is left out
    return us;
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (!set_up_engine())
        return 1;
    fill_history();
    render_frame(kNoteMode | kScopeMode); // the first frame of a size builds its tables
    std::printf("real_transform 8192 %.2f\n", transform_us(rounds, 8192));
    std::printf("real_transform 2048 %.2f\n", transform_us(rounds, 2048));
    std::printf("render_frame note %.2f\n",
                median_us(rounds, 1000, [](int) { render_frame(kNoteMode | kScopeMode); }));
    std::printf("render_frame linear %.2f\n",
                median_us(rounds, 4000, [](int) { render_frame(kScopeMode); }));
    fill_history_with_bass();
    render_frame(kNoteMode | kScopeMode);
    for (int band : {24, 36}) { // A2 in the long transform, A3 in the short one
        double hz = 0.0;
        if (!find_band_peak(kNoteMode | kScopeMode, 1, band, &hz))
            std::abort(); // no peak: not the whole search
        std::printf("find_band_peak %s %.2f\n", band < kFirstShortBand ? "long" : "short",
                    median_us(rounds, 1000,
                              [&](int) { find_band_peak(kNoteMode | kScopeMode, 1, band, &hz); }));
    }
    std::printf("rate_converter 48k_float_stereo_1s %.0f\n", converter_us(rounds));
    free_sample_history();
    free_display_block();
    return 0;
}
