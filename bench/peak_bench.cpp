// The readout's tuner: what finding the peak in the band under the pointer costs a frame
// while the readout shows, timed beside the frame itself in one run, then how precisely it
// finds tones of known frequency, by octave:
//
//     build/bench/sonavex_peak_bench
//
// The timing runs ten interleaved repetitions of each case (any Google Benchmark flag given
// on the command line overrides those defaults); the precision table follows, with the
// targets and whether they are met. Errors are in cents: steady pure tones at every key A1 to
// C8 at 0, +17 and -33 cents, five random phases each; the same decaying 10 dB across the
// samples the band's transform analyses (from A2 up); six harmonics (1/h strength) of every
// key from A1 to C5 at three phases, each found in the band of its own nearest key.

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/peak.h"

#include "bench_support.h"
#include "music_history.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

void bench_frame(benchmark::State &state) {
    fill_history_with_bass();
    render_frame(kNoteMode | kScopeMode);
    for (auto _ : state) {
        render_frame(kNoteMode | kScopeMode);
        benchmark::ClobberMemory();
    }
}

// The peak search of one band on the frame analysed last, as the readout runs it once per
// frame while it shows.
void bench_peak(benchmark::State &state, int band) {
    fill_history_with_bass();
    render_frame(kNoteMode | kScopeMode);
    double hz = 0.0;
    if (!find_band_peak(kNoteMode | kScopeMode, 1, band, &hz))
        state.SkipWithError("no peak in the band: not the full search");
    for (auto _ : state) {
        benchmark::DoNotOptimize(find_band_peak(kNoteMode | kScopeMode, 1, band, &hz));
        benchmark::ClobberMemory();
    }
}

// A tone of `hz` at `amplitude` (full scale 1) and `phase` in the history, fading by
// `decay_db` across its last `span` samples, steady before them; added to what is there
// unless `fresh`.
void add_tone(double hz, double amplitude, double phase, double decay_db = 0.0, int span = 8192,
              bool fresh = true) {
    static double mix[kHistorySamples];
    for (int i = 0; i < kHistorySamples; ++i) {
        const int into = std::max(0, i - (kHistorySamples - span));
        const double fade = std::pow(10.0, -decay_db / 20.0 * into / span);
        mix[i] =
            (fresh ? 0.0 : mix[i]) + amplitude * fade * std::sin(2 * M_PI * hz * i / 22050 + phase);
        sample_history()[i] = static_cast<std::int16_t>(std::lround(32767.0 * mix[i]));
    }
}

double key_hz(double semitones) { return 27.5 * std::pow(2.0, semitones / 12.0); }

// The error in cents of the peak found in band j, or a large number when none is found.
double error_cents(int band, double hz) {
    double found = 0.0;
    if (!find_band_peak(kNoteMode, 1, band, &found))
        return 1e9;
    return std::fabs(1200.0 * std::log2(found / hz));
}

// Errors grouped by octave, A to G#: group 0 is A1..G#2, group 6 A7..C8.
struct ByOctave {
    std::vector<double> errors[7];
    void add(int band, double error) { errors[std::min(6, (band - 12) / 12)].push_back(error); }
    static double median(std::vector<double> v) {
        if (v.empty())
            return NAN;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    }
    static double worst(const std::vector<double> &v) {
        return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
    }
};

// Measures the precision table and prints it; false when a target is missed.
bool measure_precision() {
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> random_phase(0.0, 2 * M_PI);
    ByOctave steady, decaying, harmonic;
    for (int band = 12; band < kBands; ++band) {
        for (double offset : {0.0, 17.0, -33.0}) {
            const double hz = key_hz(band + offset / 100.0);
            for (int run = 0; run < 5; ++run) {
                add_tone(hz, 0.5, random_phase(gen));
                render_frame(kNoteMode);
                steady.add(band, error_cents(band, hz));
                if (band < 24)
                    continue;
                add_tone(hz, 0.5, random_phase(gen), 10.0, band < 32 ? 8192 : 2048);
                render_frame(kNoteMode);
                decaying.add(band, error_cents(band, hz));
            }
        }
    }
    for (int band = 12; band <= 51; ++band) {
        for (int run = 0; run < 3; ++run) {
            for (int h = 1; h <= 6; ++h)
                add_tone(key_hz(band) * h, 0.3 / h, random_phase(gen), 0.0, 8192, h == 1);
            render_frame(kNoteMode);
            for (int h = 1; h <= 6; ++h) {
                const double hz = key_hz(band) * h;
                const int key = static_cast<int>(std::lround(12.0 * std::log2(hz / 27.5)));
                if (key < kBands)
                    harmonic.add(key, error_cents(key, hz));
            }
        }
    }

    std::printf("\nPeak error in cents (worst / median); a miss counts as 1e9\n");
    std::printf("%-9s %17s %17s %17s\n", "octave", "steady", "decaying 10 dB", "harmonics");
    static const char *const kOctaves[7] = {"A1-G#2", "A2-G#3", "A3-G#4", "A4-G#5",
                                            "A5-G#6", "A6-G#7", "A7-C8"};
    bool met = true;
    for (int o = 0; o < 7; ++o) {
        std::printf("%-9s", kOctaves[o]);
        for (const ByOctave *set : {&steady, &decaying, &harmonic}) {
            const std::vector<double> &v = set->errors[o];
            if (v.empty())
                std::printf(" %17s", "-");
            else
                std::printf(" %8.3f / %6.3f", ByOctave::worst(v), ByOctave::median(v));
        }
        std::printf("\n");
        const double steady_limit = o == 0 ? 1.0 : 0.5;
        met = met && ByOctave::worst(steady.errors[o]) <= steady_limit &&
              (o == 0 || ByOctave::worst(decaying.errors[o]) <= 1.0) &&
              !(ByOctave::worst(harmonic.errors[o]) >= 50.0);
    }
    std::printf("targets (steady <= 1 cent from A1, <= 0.5 from A2; decaying <= 1 from A2; "
                "each harmonic found in its own key): %s\n",
                met ? "met" : "NOT MET");
    return met;
}

} // namespace

int main(int argc, char **argv) {
    if (!init_benchmarks(argc, argv))
        return 1;
    if (!set_up_engine())
        return 1;

    benchmark::RegisterBenchmark("render_frame_note", bench_frame);
    benchmark::RegisterBenchmark("find_band_peak_long", bench_peak, 24);  // A2, 8192 points
    benchmark::RegisterBenchmark("find_band_peak_short", bench_peak, 36); // A3, 2048 points
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double frame = reporter.cpu_time("render_frame_note");
    if (frame > 0) {
        std::printf("a frame with the readout over a long band / without = %.2f\n",
                    (frame + reporter.cpu_time("find_band_peak_long")) / frame);
    }

    const bool met = measure_precision();
    benchmark::Shutdown();
    free_sample_history();
    free_display_block();
    return met ? 0 : 1;
}
