#include "engine/levels.h"

#include <cmath>

namespace {

// The squared level at which a bar reaches row k, 10^(k / 16) for k = 0..80, so that most
// heights need no logarithm.
struct HeightSteps {
    HeightSteps() {
        for (int k = 0; k <= kMaxBarHeight; ++k)
            square[k] = std::pow(10.0, k / 16.0);
    }
    double square[kMaxBarHeight + 1];
};
const HeightSteps g_steps;

// The height by its definition: 16 * log10(level^2), truncated toward zero, held to 0..80.
// Held before the conversion: a square that underflows gives -infinity, which has no
// integer value.
int height_by_logarithm(double level) {
    const double h = 16.0 * std::log10(level * level);
    if (!(h > 0.0))
        return 0;
    if (h >= kMaxBarHeight)
        return kMaxBarHeight;
    return static_cast<int>(h);
}

bool near_step(double square, int k) {
    return std::fabs(square - g_steps.square[k]) <= g_steps.square[k] * 1e-9;
}

} // namespace

double band_peak(const double *x, int start, int end) {
    // Four running maxima instead of one: each comparison no longer waits for the previous
    // one, and the largest magnitude is the same whichever order it is found in.
    double peak[4] = {0.0, 0.0, 0.0, 0.0};
    int m = start;
    for (; m + 4 <= end; m += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            const double a = std::fabs(x[m + lane]);
            if (peak[lane] < a)
                peak[lane] = a;
        }
    }
    for (; m < end; ++m) {
        const double a = std::fabs(x[m]);
        if (peak[0] < a)
            peak[0] = a;
    }
    double top = peak[0];
    for (int lane = 1; lane < 4; ++lane) {
        if (top < peak[lane])
            top = peak[lane];
    }
    return top;
}

double band_level(BandBuffer buffer, double peak) {
    if (buffer == BandBuffer::Short)
        return peak * 4.0 * 0.25;
    return peak * 0.25;
}

int bar_height(double level) {
    if (!(level > 0.0))
        return 0;
    const double square = level * level;
    if (square < g_steps.square[1] * (1.0 - 1e-9))
        return 0; // below one row: the usual case for a quiet band
    int k = 0;    // the highest step at or below the square
    for (int step = 64; step > 0; step /= 2) {
        if (k + step <= kMaxBarHeight && g_steps.square[k + step] <= square)
            k += step;
    }
    // Within rounding of a step the logarithm itself decides, so that every height is the
    // one the definition gives.
    if (near_step(square, k) || (k < kMaxBarHeight && near_step(square, k + 1)))
        return height_by_logarithm(level);
    return k;
}

unsigned char bar_colour(int row) { return static_cast<unsigned char>(32 + 32 * row / 80); }

unsigned char spectrogram_colour(int height) {
    // Truncation toward zero makes heights 0, 1 and 2 all 16.
    return static_cast<unsigned char>(16 + (48 * height - 48) / 80);
}
