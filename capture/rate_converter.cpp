// The mix format's frames become mono by averaging, and the mono stream is resampled by a
// polyphase filter: conceptually the input is raised to up_ times its rate by inserting zeros,
// low-pass filtered there, and every down_-th sample kept. Only the kept samples are computed,
// each from taps_ inputs with one of the up_ phases of the filter.
#include "capture/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The filter: a windowed sinc cut off half-way between the edge of what must pass unchanged
// (10000 Hz) and the capture format's Nyquist frequency, above which everything folds back.
constexpr double kPassEdge = 10000.0;
constexpr double kStopEdge = RateConverter::kOutputRate / 2.0;
// The Kaiser window for 80 dB of stop-band attenuation: a margin over the 70 dB promised, since
// the window's length formula is an estimate.
constexpr double kAttenuation = 80.0;
constexpr double kBeta = 0.1102 * (kAttenuation - 8.7);
// A format whose rates share too small a factor would need a huge table: refuse it instead.
constexpr std::size_t kMaxCoefficients = std::size_t(1) << 19;

constexpr double kPi = 3.14159265358979323846;

unsigned common_divisor(unsigned a, unsigned b) {
    while (b != 0) {
        const unsigned rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// The modified Bessel function of the first kind, order 0, by its power series.
double bessel_i0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; term > 1e-15 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Little-endian sample values, whatever the host's byte order.
std::uint32_t little_endian(const unsigned char *bytes, unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = count; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

bool supported(const MixFormat &format) {
    const bool integer =
        format.kind == SampleKind::Integer &&
        (format.container_bits == 16 || format.container_bits == 24 || format.container_bits == 32);
    const bool floating = format.kind == SampleKind::Float && format.container_bits == 32;
    return (integer || floating) && format.channels >= 1 && format.channels <= 8 &&
           format.rate >= RateConverter::kOutputRate && format.rate <= 384000;
}

} // namespace

bool RateConverter::open(const MixFormat &format) {
    frame_bytes_ = 0;
    if (!supported(format))
        return false;
    const unsigned divisor = common_divisor(format.rate, kOutputRate);
    const unsigned up = kOutputRate / divisor;
    const unsigned down = format.rate / divisor;
    // Kaiser's estimate of the length that gives the attenuation over the transition band,
    // counted in input samples: that is the number of taps of each phase.
    const double transition = 2.0 * kPi * (kStopEdge - kPassEdge) / format.rate;
    const unsigned taps =
        static_cast<unsigned>(std::ceil((kAttenuation - 7.95) / (2.285 * transition))) + 1;
    if (std::size_t(up) * taps > kMaxCoefficients)
        return false;
    try {
        coefficients_.assign(std::size_t(up) * taps, 0.0);
        history_.assign(2 * std::size_t(taps), 0.0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    format_ = format;
    up_ = up;
    down_ = down;
    taps_ = taps;

    // The prototype runs at up times the input rate and has taps * up points; its point j
    // belongs to phase j % up, tap j / up. The gain of up makes up for the inserted zeros.
    const std::size_t length = std::size_t(up) * taps;
    const double cutoff = (kPassEdge + kStopEdge) / 2.0 / (double(format.rate) * up);
    const double centre = (length - 1) / 2.0;
    const double window_scale = 1.0 / bessel_i0(kBeta);
    double sum = 0.0;
    for (std::size_t j = 0; j < length; ++j) {
        const double t = j - centre;
        const double sinc = t == 0.0 ? 2.0 * cutoff : std::sin(2.0 * kPi * cutoff * t) / (kPi * t);
        const double r = t / centre;
        const double window = bessel_i0(kBeta * std::sqrt(std::fmax(0.0, 1.0 - r * r)));
        const double value = sinc * window * window_scale;
        coefficients_[(j % up) * taps + j / up] = value;
        sum += value;
    }
    for (double &c : coefficients_)
        c *= up / sum; // unit gain at 0 Hz
    frame_bytes_ = std::size_t(format.channels) * (format.container_bits / 8);
    restart();
    return true;
}

void RateConverter::restart() {
    std::fill(history_.begin(), history_.end(), 0.0);
    newest_ = 0;
    phase_ = 0;
    skip_ = 0;
}

// The frame's channels averaged, full scale at 1.
double RateConverter::mono(const unsigned char *frame) const {
    const unsigned bytes = format_.container_bits / 8;
    double sum = 0.0;
    for (unsigned channel = 0; channel < format_.channels; ++channel, frame += bytes) {
        const std::uint32_t raw = little_endian(frame, bytes);
        if (format_.kind == SampleKind::Float) {
            float value;
            static_assert(sizeof value == sizeof raw, "32-bit float samples");
            std::memcpy(&value, &raw, sizeof value);
            sum += value;
        } else {
            // Sign-extend from the container's width by moving the sample to the top.
            const auto top = static_cast<std::int32_t>(raw << (32 - format_.container_bits));
            sum += top / 2147483648.0;
        }
    }
    return sum / format_.channels;
}

// The next output from the newest taps_ inputs and the current phase.
std::int16_t RateConverter::filtered() const {
    const double *c = &coefficients_[std::size_t(phase_) * taps_];
    const double *x = &history_[newest_];
    double sum = 0.0;
    for (unsigned k = 0; k < taps_; ++k)
        sum += c[k] * x[k];
    const double scaled = std::floor(sum * 32768.0 + 0.5);
    return static_cast<std::int16_t>(std::fmin(32767.0, std::fmax(-32768.0, scaled)));
}

std::size_t RateConverter::convert(const void *input, std::size_t frames, std::int16_t *output,
                                   std::size_t capacity, std::size_t *produced) {
    const auto *frame = static_cast<const unsigned char *>(input);
    std::size_t used = 0, made = 0;
    for (; used < frames && frame_bytes_ != 0; ++used) {
        if (skip_ == 0 && made == capacity)
            break; // this frame completes a sample with no room left for it
        // The history holds every input twice, taps_ apart, so that the newest taps_ inputs,
        // newest first, always lie one after another from newest_ on.
        newest_ = (newest_ == 0 ? taps_ : newest_) - 1;
        const double value = frame ? mono(frame + used * frame_bytes_) : 0.0;
        history_[newest_] = history_[newest_ + taps_] = value;
        if (skip_ > 0) {
            --skip_;
            continue;
        }
        output[made++] = filtered();
        // The next output lies down_ / up_ inputs further on: its phase is the remainder.
        phase_ += down_;
        skip_ = phase_ / up_ - 1;
        phase_ %= up_;
    }
    *produced = made;
    return used;
}
