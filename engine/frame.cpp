#include "engine/frame.h"

#include "engine/display.h"
#include "engine/history.h"
#include "engine/levels.h"
#include "engine/scope.h"
#include "engine/tables.h"
#include "fft/fft.h"

#include <cmath>
#include <cstring>

namespace {

// View state: set by the toolbar commands, read by the frame, the strip and painting.
unsigned g_view_flags = kNoteMode | kScopeMode;
int g_bass_zoom = 1;

// The transform buffers (windowed samples in, sine coefficients out) and each size's own
// work areas, kept for the whole run so that a frame allocates nothing and the transform
// tables are built only once.
double g_long[kLongTransform];
int g_long_work[66];
double g_long_table[kLongTransform * 5 / 4];
double g_short[kShortTransform];
int g_short_work[34];
double g_short_table[kShortTransform * 5 / 4];

constexpr double kSampleScale = 0.000030517578125; // 1 / 32768: full scale becomes 1

// Symmetric sine windows over the whole history and over its newest 2048 samples, both read
// from the one quarter sine: forward for the first half, backward for the second.
void window_long(const std::int16_t *h, const double *sine) {
    constexpr int half = kLongTransform / 2;
    for (int i = 0; i < half; ++i) {
        g_long[i] = h[i] * sine[i] * kSampleScale;
        g_long[half + i] = h[half + i] * sine[half - 1 - i] * kSampleScale;
    }
}

void window_short(const std::int16_t *h, const double *sine) {
    constexpr int half = kShortTransform / 2;
    const std::int16_t *newest = h + kHistorySamples - kShortTransform;
    for (int i = 0; i < half; ++i) {
        g_short[i] = newest[i] * sine[4 * i] * kSampleScale;
        g_short[half + i] = newest[half + i] * sine[4092 - 4 * i] * kSampleScale;
    }
}

// One band's bar into the spectrum plane (cleared beforehand) and its cell into the newest
// spectrogram row. The fourth column of every band stays 0 in both.
void draw_band(unsigned char *spectrum, unsigned char *newest_row, int band, int height) {
    const int x = 4 * band;
    for (int k = 0; k < height; ++k) {
        unsigned char *p = spectrum + k * kPlaneWidth + x;
        p[0] = p[1] = p[2] = bar_colour(k);
    }
    unsigned char *cell = newest_row + x;
    cell[0] = cell[1] = cell[2] = spectrogram_colour(height);
    cell[3] = 0;
}

} // namespace

double band_peak(const double *x, int start, int end) {
    double peak = 0.0;
    for (int m = start; m < end; ++m) {
        const double a = std::fabs(x[m]);
        if (peak < a)
            peak = a;
    }
    return peak;
}

double band_level(BandBuffer buffer, double peak) {
    if (buffer == BandBuffer::Short)
        return peak * 4.0 * 0.25;
    return peak * 0.25;
}

int bar_height(double level) {
    if (!(level > 0.0))
        return 0;
    // Held to 0..80 before the conversion: a square that underflows gives -infinity, which
    // has no integer value.
    const double h = 16.0 * std::log10(level * level);
    if (!(h > 0.0))
        return 0;
    if (h >= kMaxBarHeight)
        return kMaxBarHeight;
    return static_cast<int>(h);
}

unsigned char bar_colour(int row) { return static_cast<unsigned char>(32 + 32 * row / 80); }

unsigned char spectrogram_colour(int height) {
    // Truncation toward zero makes heights 0, 1 and 2 all 16.
    return static_cast<unsigned char>(16 + (48 * height - 48) / 80);
}

void build_analysis_tables() {
    fill_analysis_tables();
    // Each transform size builds its own tables on its first call.
    g_long_work[0] = 0;
    g_short_work[0] = 0;
}

void render_frame(unsigned view_flags) {
    unsigned char *planes = display_planes();
    const std::int16_t *h = sample_history();
    if (!planes || !h)
        return;
    const double *sine = sine_window();
    const bool note_mode = (view_flags & kNoteMode) != 0;

    if (note_mode) {
        window_long(h, sine);
        real_transform(kLongTransform, -1, g_long, g_long_work, g_long_table);
    }
    window_short(h, sine);
    real_transform(kShortTransform, -1, g_short, g_short_work, g_short_table);

    // Element 0 is the 11025 Hz coefficient and element 1 the lowest: no band reads them.
    g_long[0] = g_long[1] = 0.0;
    g_short[0] = g_short[1] = 0.0;

    unsigned char *spectrum = planes + kSpectrumPlane * kPlaneBytes;
    unsigned char *spectrogram = planes + kSpectrogramPlane * kPlaneBytes;
    // The spectrogram moves down a row on screen; its top row is rewritten below.
    std::memmove(spectrogram, spectrogram + kPlaneWidth, (kPlaneRows - 1) * kPlaneWidth);
    std::memset(spectrum, 0, kPlaneBytes);

    unsigned char *newest_row = spectrogram + (kPlaneRows - 1) * kPlaneWidth;
    for (int band = 0; band < kBands; ++band) {
        const BandRange range = band_range(view_flags, bass_zoom(), band);
        const double *x = range.buffer == BandBuffer::Long ? g_long : g_short;
        const double level = band_level(range.buffer, band_peak(x, range.start, range.end));
        draw_band(spectrum, newest_row, band, bar_height(level));
    }

    draw_scope_trace();
}

unsigned view_flags() { return g_view_flags; }
void set_view_flags(unsigned flags) { g_view_flags = flags; }
int bass_zoom() { return g_bass_zoom; }
void set_bass_zoom(int factor) { g_bass_zoom = factor == 2 ? 2 : 1; }

void clear_spectrum_plane() {
    if (unsigned char *planes = display_planes())
        std::memset(planes + kSpectrumPlane * kPlaneBytes, 0, kPlaneBytes);
}
