// The mix format's frames become mono by averaging; rates of 88.2 kHz and above are first
// brought down by a power of two to 44.1 or 48 kHz, then the resampler brings the stream to
// 22050 Hz. Both stages are Kaiser-windowed sinc filters in polyphase form.
#include "capture/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// What must pass unchanged, and the capture format's Nyquist frequency, above which everything
// folds back. Each filter is cut off half-way between the edges of its transition band.
constexpr double kPassEdge = 10000.0;
constexpr double kStopEdge = RateConverter::kOutputRate / 2.0;
// The Kaiser window for 80 dB of stop-band attenuation: a margin over the 70 dB promised, since
// the window's length formula is an estimate.
constexpr double kAttenuation = 80.0;
constexpr double kBeta = 0.1102 * (kAttenuation - 8.7);
// A format whose rate shares too small a factor with the output's would need a huge table:
// refuse it instead.
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

bool RateConverter::Stage::design(std::uint32_t rate, unsigned up_by, unsigned down_by, double pass,
                                  double stop) {
    // Kaiser's estimate of the length that gives the attenuation over the transition band,
    // counted in input samples: that is the number of taps of each phase.
    const double transition = 2.0 * kPi * (stop - pass) / rate;
    const unsigned per_phase =
        static_cast<unsigned>(std::ceil((kAttenuation - 7.95) / (2.285 * transition))) + 1;
    const std::size_t length = std::size_t(up_by) * per_phase;
    if (length > kMaxCoefficients)
        return false;
    try {
        coefficients.assign(length, 0.0);
        history.assign(2 * std::size_t(per_phase), 0.0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    up = up_by;
    down = down_by;
    taps = per_phase;

    // The prototype runs at up times the input rate; its point j belongs to phase j % up, tap
    // j / up. The gain of up makes up for the inserted zeros.
    const double cutoff = (pass + stop) / 2.0 / (double(rate) * up);
    const double centre = (length - 1) / 2.0;
    const double window_scale = 1.0 / bessel_i0(kBeta);
    double sum = 0.0;
    for (std::size_t j = 0; j < length; ++j) {
        const double t = j - centre;
        const double sinc = t == 0.0 ? 2.0 * cutoff : std::sin(2.0 * kPi * cutoff * t) / (kPi * t);
        const double r = t / centre;
        const double window = bessel_i0(kBeta * std::sqrt(std::fmax(0.0, 1.0 - r * r)));
        const double value = sinc * window * window_scale;
        coefficients[(j % up) * taps + j / up] = value;
        sum += value;
    }
    for (double &c : coefficients)
        c *= up / sum; // unit gain at 0 Hz
    restart();
    return true;
}

void RateConverter::Stage::restart() {
    std::fill(history.begin(), history.end(), 0.0);
    newest = 0;
    phase = 0;
    skip = 0;
}

bool RateConverter::Stage::push(double in, double *out) {
    // The history holds every input twice, taps apart, so that the newest taps inputs, newest
    // first, always lie one after another from newest on.
    newest = (newest == 0 ? taps : newest) - 1;
    history[newest] = history[newest + taps] = in;
    if (skip > 0) {
        --skip;
        return false;
    }
    const double *c = &coefficients[std::size_t(phase) * taps];
    const double *x = &history[newest];
    double sum = 0.0;
    for (unsigned k = 0; k < taps; ++k)
        sum += c[k] * x[k];
    *out = sum;
    // The next output lies down / up inputs further on: its phase is the remainder.
    phase += down;
    skip = phase / up - 1;
    phase %= up;
    return true;
}

bool RateConverter::open(const MixFormat &format) {
    frame_bytes_ = 0;
    if (!supported(format))
        return false;
    // Halve the rate while it stays at 44.1 kHz or above. What the decimator lets fold back
    // lands above 11025 Hz, where the resampler's own filter stops it.
    unsigned factor = 1;
    while (format.rate % (2 * factor) == 0 && format.rate / (2 * factor) >= 44100)
        factor *= 2;
    const std::uint32_t rate = format.rate / factor;
    decimate_ = factor > 1;
    if (decimate_ && !decimator_.design(format.rate, 1, factor, kPassEdge, rate - kStopEdge))
        return false;
    const unsigned divisor = common_divisor(rate, kOutputRate);
    if (!resampler_.design(rate, kOutputRate / divisor, rate / divisor, kPassEdge, kStopEdge))
        return false;
    format_ = format;
    frame_bytes_ = std::size_t(format.channels) * (format.container_bits / 8);
    return true;
}

void RateConverter::restart() {
    decimator_.restart();
    resampler_.restart();
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

std::size_t RateConverter::convert(const void *input, std::size_t frames, std::int16_t *output,
                                   std::size_t capacity, std::size_t *produced) {
    const auto *frame = static_cast<const unsigned char *>(input);
    std::size_t used = 0, made = 0;
    for (; used < frames && frame_bytes_ != 0; ++used) {
        const bool completes = resampler_.skip == 0 && (!decimate_ || decimator_.skip == 0);
        if (completes && made == capacity)
            break; // this frame completes a sample with no room left for it
        double value = frame ? mono(frame + used * frame_bytes_) : 0.0;
        if ((decimate_ && !decimator_.push(value, &value)) || !resampler_.push(value, &value))
            continue;
        const double scaled = std::floor(value * 32768.0 + 0.5);
        output[made++] = static_cast<std::int16_t>(std::fmin(32767.0, std::fmax(-32768.0, scaled)));
    }
    *produced = made;
    return used;
}
