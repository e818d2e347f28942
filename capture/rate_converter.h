#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Converts a stream of interleaved frames in a sound system's mix format (any rate from 22050
// to 384000 Hz, 1 to 8 channels, 16-, 24- or 32-bit signed integer or 32-bit float, little
// endian) to the capture format: mono 16-bit samples at 22050 Hz. The channels of a frame are
// averaged, then a polyphase low-pass filter resamples the mono stream: flat within 0.1 dB from
// 0 to 10000 Hz, and everything that would fold back into 0 to 11025 Hz at least 70 dB down.
// The stream's state (the filter's history and where the next output falls) is kept across
// calls, so packets of any size, down to one frame, give the same output as one long call.
//
// Typical usage:
//     RateConverter converter;
//     if (!converter.open({48000, 2, 32, SampleKind::Float})) ... refuse the format
//     while (frames > 0) {
//         std::size_t made = 0;
//         const std::size_t used = converter.convert(data, frames, out, out_capacity, &made);
//         data += used * converter.frame_bytes(); frames -= used; ... hand on out[0, made)
//     }

enum class SampleKind { Integer, Float };

struct MixFormat {
    std::uint32_t rate;      // frames per second
    unsigned channels;       // 1 to 8
    unsigned container_bits; // bits each sample occupies: 16, 24 or 32 (32 only for Float)
    SampleKind kind;         // 32-bit integer samples with fewer valid bits are left-justified
};

class RateConverter {
  public:
    static constexpr std::uint32_t kOutputRate = 22050;

    // Prepares for a stream of `format` (computing the filter, the only allocation); false,
    // and nothing converts, when the format is not one of those above.
    bool open(const MixFormat &format);

    // The bytes one input frame takes; 0 before a successful open.
    std::size_t frame_bytes() const { return frame_bytes_; }
    // The input's frames per second.
    std::uint32_t input_rate() const { return format_.rate; }

    // Reads up to `frames` frames from `input` and writes the samples they complete to
    // `output`, stopping before a frame whose sample would not fit in `capacity`. Returns the
    // frames read; `*produced` receives the samples written. A null `input` stands for
    // `frames` frames of silence.
    std::size_t convert(const void *input, std::size_t frames, std::int16_t *output,
                        std::size_t capacity, std::size_t *produced);

    // Forgets the stream's past, as if freshly opened with the same format.
    void restart();

  private:
    // One resampling stage: a low-pass filter in polyphase form. Conceptually its input is
    // raised to `up` times its rate by inserting zeros, filtered there, and every `down`-th
    // sample kept; only the kept samples are computed, each from `taps` inputs with one of
    // the `up` phases of the filter.
    struct Stage {
        unsigned up = 1;
        unsigned down = 1;
        unsigned taps = 0;                // filter taps per phase: inputs each output reads
        std::vector<double> coefficients; // up phases of taps each, newest input's tap first
        std::vector<double> history;      // the last taps inputs, twice over: see push()
        unsigned newest = 0;              // where in history the newest input is
        unsigned phase = 0;               // the next output's phase
        unsigned skip = 0;                // inputs still to take before the next output

        // Designs the filter for `rate` Hz in, passing up to `pass` Hz, stopping from `stop`
        // Hz; false when it would be too large or cannot be allocated.
        bool design(std::uint32_t rate, unsigned up, unsigned down, double pass, double stop);
        void restart();
        // Takes one input; true when that completes an output, which goes to `*out`.
        bool push(double in, double *out);
    };

    double mono(const unsigned char *frame) const;

    MixFormat format_ = {};
    std::size_t frame_bytes_ = 0;
    // High rates are first brought down by a whole factor with a short filter, since the
    // stage to 22050 Hz costs in proportion to its input's rate.
    bool decimate_ = false;
    Stage decimator_;
    Stage resampler_;
};
