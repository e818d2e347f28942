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

// The band levels behind the bars on screen, for the pointer's readout, and the view they
// were drawn in; none after the spectrum plane was cleared.
double g_drawn_levels[kBands];
unsigned g_drawn_note = 0; // kNoteMode or 0
int g_drawn_zoom = 1;
bool g_levels_drawn = false;

// The transform buffers (windowed samples in, sine coefficients out) and each size's own
// work areas, kept for the whole run so that a frame allocates nothing and the transform
// tables are built only once.
double g_long[kLongTransform];
int g_long_work[work_index_entries(kLongTransform)];
double g_long_table[work_table_entries(kLongTransform)];
double g_short[kShortTransform];
int g_short_work[work_index_entries(kShortTransform)];
double g_short_table[work_table_entries(kShortTransform)];

constexpr double kSampleScale = 0.000030517578125; // 1 / 32768: full scale becomes 1

// Each windowed value is formed as sample times window value, then scaled to full scale 1.
void apply_window(const std::int16_t *samples, const double *window, double *out, int n) {
    for (int i = 0; i < n; ++i)
        out[i] = samples[i] * window[i] * kSampleScale;
}

// Bar colours by row, looked up rather than worked out for every pixel.
struct BarColours {
    BarColours() {
        for (int k = 0; k < kPlaneRows; ++k)
            colour[k] = bar_colour(k);
    }
    unsigned char colour[kPlaneRows];
};
const BarColours g_bar_colours;

// One band's bar into the spectrum plane (cleared beforehand) and its cell into the newest
// spectrogram row. The fourth column of every band stays 0 in both.
void draw_band(unsigned char *spectrum, unsigned char *newest_row, int band, int height) {
    const int x = 4 * band;
    unsigned char *p = spectrum + x;
    for (int k = 0; k < height; ++k, p += kPlaneWidth)
        p[0] = p[1] = p[2] = g_bar_colours.colour[k];
    unsigned char *cell = newest_row + x;
    cell[0] = cell[1] = cell[2] = spectrogram_colour(height);
    cell[3] = 0;
}

} // namespace

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
    if (view_flags & kNoteMode) {
        apply_window(h, long_window(), g_long, kLongTransform);
        real_transform(kLongTransform, -1, g_long, g_long_work, g_long_table);
    }
    apply_window(h + kHistorySamples - kShortTransform, short_window(), g_short, kShortTransform);
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
    const BandRange *ranges = band_ranges(view_flags, bass_zoom());
    for (int band = 0; band < kBands; ++band) {
        const BandRange &range = ranges[band];
        const double *x = range.buffer == BandBuffer::Long ? g_long : g_short;
        const double level = band_level(range.buffer, band_peak(x, range.start, range.end));
        draw_band(spectrum, newest_row, band, bar_height(level));
        g_drawn_levels[band] = level;
    }
    g_drawn_note = view_flags & kNoteMode;
    g_drawn_zoom = bass_zoom();
    g_levels_drawn = true;

    draw_scope_trace();
}

unsigned view_flags() { return g_view_flags; }
void set_view_flags(unsigned flags) { g_view_flags = flags; }
int bass_zoom() { return g_bass_zoom; }
void set_bass_zoom(int factor) { g_bass_zoom = factor == 2 ? 2 : 1; }

void clear_spectrum_plane() {
    if (unsigned char *planes = display_planes())
        std::memset(planes + kSpectrumPlane * kPlaneBytes, 0, kPlaneBytes);
    g_levels_drawn = false;
}

const double *frame_coefficients(BandBuffer buffer) {
    return buffer == BandBuffer::Long ? g_long : g_short;
}

bool drawn_band_level(unsigned view_flags, int zoom, int band, double *level) {
    if (!g_levels_drawn || band < 0 || band >= kBands || (view_flags & kNoteMode) != g_drawn_note ||
        (!(view_flags & kNoteMode) && (zoom == 2 ? 2 : 1) != g_drawn_zoom))
        return false;
    *level = g_drawn_levels[band];
    return true;
}
