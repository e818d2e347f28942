#include "engine/peak.h"

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/tables.h"
#include "fft/fft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The sine coefficients of the windowed samples with every other one negated, and the
// transform's work areas for them. Sized for the long transform, they serve the short one
// as well: work areas built for a size serve every smaller one without a rebuild.
double g_alternate[kLongTransform];
int g_alternate_work[work_index_entries(kLongTransform)];
double g_alternate_table[work_table_entries(kLongTransform)];

constexpr double kSampleScale = 0.000030517578125; // 1 / 32768, as the frame scales

// The main lobe of the sine window reaches 3 coefficients either side of a tone; the
// neighbourhood the peak is measured against lies just beyond it. Partials 10 coefficients
// apart (the harmonics of A1 in the short transform) still leave its median low.
constexpr int kNearest = 4;
constexpr int kFarthest = 10;

// The power of the twice zero-padded spectrum at coefficient k (1 <= k <= n - 1): the sine
// part from the frame's coefficient, the cosine part from the negated samples' mirror one.
double power(const double *sine, int n, int k) {
    const double cosine = g_alternate[n - k];
    return sine[k] * sine[k] + cosine * cosine;
}

// Windows the newest n samples as the frame does, each value formed as sample times window
// value times the scale, with every odd-numbered one negated, and transforms them.
void transform_alternate(int n) {
    const std::int16_t *samples = sample_history() + kHistorySamples - n;
    const double *window = n == kLongTransform ? long_window() : short_window();
    for (int i = 0; i < n; i += 2) {
        g_alternate[i] = samples[i] * window[i] * kSampleScale;
        g_alternate[i + 1] = -(samples[i + 1] * window[i + 1] * kSampleScale);
    }
    real_transform(n, -1, g_alternate, g_alternate_work, g_alternate_table);
}

// Whether the band's level is within kPeakRangeDb of the loudest band of the same frame.
bool loud_enough(unsigned view_flags, int zoom, int band) {
    double level = 0.0, loudest = 0.0;
    if (!drawn_band_level(view_flags, zoom, band, &level) || !(level > 0.0))
        return false;
    for (int j = 0; j < kBands; ++j) {
        double other = 0.0;
        if (drawn_band_level(view_flags, zoom, j, &other))
            loudest = std::max(loudest, other);
    }
    return level >= loudest * std::pow(10.0, -kPeakRangeDb / 20.0);
}

// Whether the power p at coefficient k stands kPeakProminenceDb above the median power of
// its neighbourhood. Coefficients 0 and 1 hold no spectrum (the frame clears them).
bool prominent(const double *sine, int n, int k, double p) {
    double around[2 * (kFarthest - kNearest + 1)];
    int count = 0;
    for (int d = kNearest; d <= kFarthest; ++d) {
        if (k - d >= 2)
            around[count++] = power(sine, n, k - d);
        if (k + d <= n - 1)
            around[count++] = power(sine, n, k + d);
    }
    if (count == 0)
        return false;
    std::nth_element(around, around + count / 2, around + count);
    return p >= around[count / 2] * std::pow(10.0, kPeakProminenceDb / 10.0);
}

// The vertex of the parabola through the logarithm of the power at k - 1, k and k + 1, in
// coefficients; false where there is none (a flat top, or a neighbour of no power).
bool vertex(const double *sine, int n, int k, double p, double *at) {
    const double below = std::log(power(sine, n, k - 1));
    const double top = std::log(p);
    const double above = std::log(power(sine, n, k + 1));
    const double curve = below - 2.0 * top + above;
    if (!(curve < 0.0) || !std::isfinite(curve))
        return false;
    *at = k + std::clamp(0.5 * (below - above) / curve, -0.5, 0.5);
    return true;
}

} // namespace

bool find_band_peak(unsigned view_flags, int zoom, int band, double *hz) {
    if (band < 0 || band >= kBands || !sample_history() || !loud_enough(view_flags, zoom, band))
        return false;
    const BandRange range = band_range(view_flags, zoom, band);
    const int n = range.buffer == BandBuffer::Long ? kLongTransform : kShortTransform;
    const double step = 22050.0 / (2.0 * n); // Hz per coefficient
    // The band's frequencies: half a semitone either side of the key in note mode, half a
    // coefficient beyond the first and the last in linear mode.
    double low = (range.start - 0.5) * step, high = (range.end - 0.5) * step;
    if (view_flags & kNoteMode) {
        low = 27.5 * std::pow(2.0, (band - 0.5) / 12.0);
        high = 27.5 * std::pow(2.0, (band + 0.5) / 12.0);
    }
    const double *sine = frame_coefficients(range.buffer);
    transform_alternate(n);

    // The strongest local maximum whose vertex lies inside the band. Those on the coefficient
    // just outside either end count too: a tone near a boundary may have its nearest
    // coefficient across it.
    int best = -1;
    double best_power = 0.0, best_hz = 0.0;
    for (int k = std::max(range.start - 1, 3); k <= std::min(range.end, n - 2); ++k) {
        const double p = power(sine, n, k);
        double at = 0.0;
        if (p > best_power && p > power(sine, n, k - 1) && p >= power(sine, n, k + 1) &&
            vertex(sine, n, k, p, &at) && at * step > low && at * step <= high)
            best = k, best_power = p, best_hz = at * step;
    }
    if (best < 0 || !prominent(sine, n, best, best_power))
        return false;
    *hz = best_hz;
    return true;
}
