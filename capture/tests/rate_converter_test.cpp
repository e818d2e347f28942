#include "capture/rate_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// 0.6 s of interleaved frames in `format`: channel 0 carries a sine of `amplitude` at `first`
// Hz, every other channel one at `others` Hz.
std::vector<unsigned char> tone(const MixFormat &format, double first, double others,
                                double amplitude) {
    const unsigned bytes = format.container_bits / 8;
    const std::uint32_t frames = format.rate / 5 * 3;
    std::vector<unsigned char> data(std::size_t(frames) * format.channels * bytes);
    unsigned char *at = data.data();
    for (std::uint32_t n = 0; n < frames; ++n) {
        for (unsigned c = 0; c < format.channels; ++c, at += bytes) {
            const double f = c == 0 ? first : others;
            const double v = amplitude * std::sin(2 * kPi * f * n / format.rate);
            const float single = static_cast<float>(v);
            auto raw = static_cast<std::uint32_t>(std::lround(std::ldexp(v, bytes * 8 - 1)));
            if (format.kind == SampleKind::Float)
                std::memcpy(&raw, &single, 4);
            for (unsigned b = 0; b < bytes; ++b)
                at[b] = static_cast<unsigned char>(raw >> (8 * b));
        }
    }
    return data;
}

// Converts `data` handed over in packets of the given sizes in turn, into room for 37 samples
// at a time, as a device fills its buffers piece by piece: what a call leaves of a packet comes
// in the next. With no sizes, in one call with room for all.
std::vector<std::int16_t> convert(RateConverter &converter, const std::vector<unsigned char> &data,
                                  const std::vector<std::size_t> &sizes = {}) {
    const std::size_t bytes = converter.frame_bytes(), total = data.size() / bytes;
    std::vector<std::int16_t> out(total);
    std::size_t made = 0;
    for (std::size_t done = 0, turn = 0, got = 0; done < total; made += got, ++turn) {
        const std::size_t packet =
            sizes.empty() ? total : std::min(total - done, sizes[turn % sizes.size()]);
        const std::size_t room = sizes.empty() ? total : 37;
        done += converter.convert(&data[done * bytes], packet, &out[made], room, &got);
        EXPECT_LE(got, room) << "samples written past the room given";
    }
    out.resize(made);
    return out;
}

// The amplitude of `frequency` Hz (an even number) in the output's last half second, long
// after the filter has filled, full scale 1: a direct DFT over whole cycles of it.
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
    const std::size_t n = RateConverter::kOutputRate / 2;
    return std::sqrt(std::inner_product(out.end() - n, out.end(), out.end() - n, 0.0) / n) / 32768;
}

double decibels(double ratio) { return 20 * std::log10(ratio); }

// Each sample format once, at the rates and channel counts sound systems mix at.
const struct {
    MixFormat format;
    const char *name;
} kCases[] = {
    {{44100, 2, 16, SampleKind::Integer}, "44.1 kHz 16-bit stereo"},
    {{48000, 2, 32, SampleKind::Float}, "48 kHz float stereo"},
    {{96000, 2, 24, SampleKind::Integer}, "96 kHz 24-bit stereo"},
    {{88200, 6, 32, SampleKind::Integer}, "88.2 kHz 32-bit 6 channels"},
    {{192000, 8, 32, SampleKind::Float}, "192 kHz float 8 channels"},
};

TEST(RateConverter, PassesTonesUnchangedAndAveragesChannels) {
    for (const auto &c : kCases) {
        // Channel 0 a low tone, the others a tone near the passband's edge: the mono stream
        // carries each at its share of the channels.
        const double low = 0.6 / c.format.channels, high = 0.6 - low;
        RateConverter converter;
        ASSERT_TRUE(converter.open(c.format)) << c.name;
        const std::vector<std::int16_t> out =
            convert(converter, tone(c.format, 1000, 9998, 0.6), {1, 7, 333, 1001});
        EXPECT_NEAR(double(out.size()), 13230.0, 1.0) << c.name;
        EXPECT_NEAR(decibels(amplitude_at(out, 1000) / low), 0.0, 0.1) << c.name;
        EXPECT_NEAR(decibels(amplitude_at(out, 9998) / high), 0.0, 0.1) << c.name;

        // Packet sizes do not change the stream.
        converter.restart();
        EXPECT_EQ(convert(converter, tone(c.format, 1000, 9998, 0.6)), out) << c.name;
    }
}

TEST(RateConverter, KeepsWhatWouldFoldBackAtLeast70DecibelsDown) {
    // Tones just above the capture format's Nyquist frequency and far above it: whatever of
    // them is left, wherever it folds to, is all the output holds.
    for (const auto &c : kCases) {
        for (const double f : {11026.0, 20000.0, 46000.0, 70000.0}) {
            if (f >= c.format.rate / 2.0)
                continue;
            RateConverter converter;
            converter.open(c.format);
            const std::vector<std::int16_t> out =
                convert(converter, tone(c.format, f, f, 0.9), {4099});
            EXPECT_LT(decibels(rms(out) / (0.9 / std::sqrt(2.0))), -70.0)
                << c.name << ", " << f << " Hz";
        }
    }
}

TEST(RateConverter, RefusesFormatsItCannotConvert) {
    const MixFormat refused[] = {{48000, 2, 8, SampleKind::Integer},
                                 {48000, 9, 16, SampleKind::Integer},
                                 {16000, 1, 16, SampleKind::Integer},
                                 {44057, 2, 16, SampleKind::Integer}};
    for (const MixFormat &format : refused)
        EXPECT_FALSE(RateConverter().open(format))
            << format.rate << " Hz, " << format.channels << " channels, " << format.container_bits;
}

} // namespace
