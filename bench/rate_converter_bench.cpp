// The rate converter's quality and cost, for every mix format a sound system commonly uses:
//
//     build/bench/sonavex_rate_converter_bench
//
// first measures, per format, the passband (the gain of tones from 20 Hz to 10 kHz, every
// 50 Hz: the largest deviation from 0 dB) and the alias rejection (tones from 11026 Hz to the
// input's Nyquist frequency, every 10 Hz up to 12 kHz and every 250 Hz above, each of which
// should leave nothing: the smallest ratio of the tone to all that is left) and prints them as a
// table, then times the conversion of one second of audio handed over in 10 ms packets, as the
// loopback device gets it: the time per iteration is the cost per second of audio. Any Google
// Benchmark flag given on the command line overrides the defaults (ten interleaved repetitions).

#include "capture/rate_converter.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Format {
    const char *name;
    MixFormat format;
};

const Format kFormats[] = {
    {"48k_float_stereo", {48000, 2, 32, SampleKind::Float}},
    {"44.1k_16bit_stereo", {44100, 2, 16, SampleKind::Integer}},
    {"44.1k_float_stereo", {44100, 2, 32, SampleKind::Float}},
    {"96k_24bit_stereo", {96000, 2, 24, SampleKind::Integer}},
    {"88.2k_32bit_stereo", {88200, 2, 32, SampleKind::Integer}},
    {"192k_float_stereo", {192000, 2, 32, SampleKind::Float}},
    {"48k_float_7.1", {48000, 8, 32, SampleKind::Float}},
};

// `seconds` of a tone of `amplitude` at `frequency` Hz on every channel.
std::vector<unsigned char> tone(const MixFormat &format, double frequency, double amplitude,
                                double seconds) {
    const unsigned bytes = format.container_bits / 8;
    const std::size_t frames = static_cast<std::size_t>(format.rate * seconds);
    std::vector<unsigned char> data(frames * format.channels * bytes);
    unsigned char *at = data.data();
    for (std::size_t n = 0; n < frames; ++n) {
        const double v = amplitude * std::sin(2 * kPi * frequency * n / format.rate);
        std::uint32_t raw;
        if (format.kind == SampleKind::Float) {
            const float f = static_cast<float>(v);
            std::memcpy(&raw, &f, 4);
        } else {
            raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(
                std::lround(v * std::ldexp(1.0, int(format.container_bits) - 1))));
        }
        for (unsigned c = 0; c < format.channels; ++c, at += bytes)
            for (unsigned b = 0; b < bytes; ++b)
                at[b] = static_cast<unsigned char>(raw >> (8 * b));
    }
    return data;
}

std::vector<std::int16_t> convert(const MixFormat &format, const std::vector<unsigned char> &in) {
    RateConverter converter;
    converter.open(format);
    std::vector<std::int16_t> out(in.size() / converter.frame_bytes() + 1);
    std::size_t made = 0;
    converter.convert(in.data(), in.size() / converter.frame_bytes(), out.data(), out.size(),
                      &made);
    out.resize(made);
    return out;
}

// The amplitude at an even number of Hz over the output's last half second, full scale 1.
double amplitude_at(const std::vector<std::int16_t> &out, double frequency) {
    const std::size_t n = RateConverter::kOutputRate / 2, from = out.size() - n;
    double re = 0, im = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double w = 2 * kPi * frequency * k / RateConverter::kOutputRate;
        re += out[from + k] * std::cos(w);
        im += out[from + k] * std::sin(w);
    }
    return 2 * std::hypot(re, im) / n / 32768.0;
}

// The root mean square of the output's last half second, full scale 1.
double rms(const std::vector<std::int16_t> &out) {
    double sum = 0;
    for (std::size_t k = out.size() - RateConverter::kOutputRate / 2; k < out.size(); ++k)
        sum += double(out[k]) * out[k];
    return std::sqrt(sum / (RateConverter::kOutputRate / 2)) / 32768.0;
}

void print_quality() {
    std::printf("%-20s %22s %30s\n", "format", "passband 0-10 kHz", "alias rejection (worst at)");
    for (const Format &f : kFormats) {
        double worst_gain = 0;
        for (double hz = 20; hz <= 10000; hz += 50) {
            const double gain =
                20 *
                std::log10(amplitude_at(convert(f.format, tone(f.format, hz, 0.5, 0.6)), hz) / 0.5);
            worst_gain = std::fabs(gain) > std::fabs(worst_gain) ? gain : worst_gain;
        }
        double worst_rejection = 1e9, worst_at = 0;
        for (double hz = 11026; hz < f.format.rate / 2.0; hz += hz < 12026 ? 10 : 250) {
            const double left = rms(convert(f.format, tone(f.format, hz, 0.9, 0.6)));
            const double rejection =
                -20 * std::log10(std::max(left, 1e-12) / (0.9 / std::sqrt(2.0)));
            if (rejection < worst_rejection) {
                worst_rejection = rejection;
                worst_at = hz;
            }
        }
        std::printf("%-20s %+18.4f dB %17.1f dB (%.0f Hz)\n", f.name, worst_gain, worst_rejection,
                    worst_at);
    }
    std::fflush(stdout);
}

// One second of audio, in 10 ms packets, into an output the size of a capture block.
void bench_convert(benchmark::State &state, MixFormat format) {
    const std::vector<unsigned char> input = tone(format, 1000, 0.5, 1.0);
    RateConverter converter;
    converter.open(format);
    const std::size_t frames = input.size() / converter.frame_bytes(), packet = format.rate / 100;
    std::int16_t block[1024];
    for (auto _ : state) {
        for (std::size_t done = 0; done < frames;) {
            std::size_t made = 0;
            done += converter.convert(&input[done * converter.frame_bytes()],
                                      std::min(packet, frames - done), block, 1024, &made);
            benchmark::DoNotOptimize(block);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (!init_benchmarks(argc, argv))
        return 1;
    print_quality();
    for (const Format &f : kFormats)
        benchmark::RegisterBenchmark((std::string("convert_1s_") + f.name).c_str(), bench_convert,
                                     f.format)
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
