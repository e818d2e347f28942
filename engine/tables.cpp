#include "engine/tables.h"

#include "engine/display.h"

#include <cassert>
#include <cmath>

namespace {

int g_long_bands[kLongBandEntries];     // long-transform element of boundaries 0..32
int g_short_bands[kShortBandEntries];   // short-transform element of boundaries 32..88
double g_sine[kSineWindowEntries];      // quarter sine, 0 up to just below 1
double g_long_window[kLongTransform];   // the quarter sine forward, then backward
double g_short_window[kShortTransform]; // every fourth entry of it, forward then backward
// Band ranges of every view, so that a frame only looks them up: note mode, then linear
// mode at zoom 1 and at zoom 2.
BandRange g_ranges[3][kBands];

// The first element strictly above boundary i, where `origin` is boundary 0 (27.5 Hz less
// half a semitone) in elements of the transform. No boundary falls on a whole element, so
// adding one and truncating always lands on the element just above it.
int boundary_element(int i, double origin, int last) {
    const double p = std::pow(2.0, i * 0.08333333333333333);
    const int element = static_cast<int>(1.0 - p * -origin);
    return element > last ? last : element;
}

} // namespace

void fill_analysis_tables() {
    // Boundary 0 in long-transform elements (16384 / 22050 per Hz); a quarter of it in
    // short-transform elements.
    constexpr double kLongOrigin = 19.851856298318367;
    constexpr double kShortOrigin = 4.962964074579592;
    for (int i = 0; i < kLongBandEntries; ++i)
        g_long_bands[i] = boundary_element(i, kLongOrigin, kLongTransform - 1);
    for (int i = 0; i < kShortBandEntries; ++i)
        g_short_bands[i] = boundary_element(i + kFirstShortBand, kShortOrigin, kShortTransform - 1);
    for (int i = 0; i < kSineWindowEntries; ++i)
        g_sine[i] = std::sin(i * 0.0003834951969714103); // pi / 8192

    // Both windows are symmetric and never reach 1: their two middle entries are equal.
    for (int i = 0; i < kLongTransform / 2; ++i) {
        g_long_window[i] = g_sine[i];
        g_long_window[kLongTransform / 2 + i] = g_sine[kLongTransform / 2 - 1 - i];
    }
    for (int i = 0; i < kShortTransform / 2; ++i) {
        g_short_window[i] = g_sine[4 * i];
        g_short_window[kShortTransform / 2 + i] = g_sine[4092 - 4 * i];
    }

    for (int j = 0; j < kBands; ++j) {
        if (j < kFirstShortBand)
            g_ranges[0][j] = {BandBuffer::Long, g_long_bands[j], g_long_bands[j + 1]};
        else
            g_ranges[0][j] = {BandBuffer::Short, g_short_bands[j - kFirstShortBand],
                              g_short_bands[j - kFirstShortBand + 1]};
        // Linear mode: 88 nearly equal slices of the short transform, the lower half of it
        // when zoomed in on the bass.
        for (int zoom = 1; zoom <= 2; ++zoom)
            g_ranges[zoom][j] = {BandBuffer::Short, (kShortTransform * j / kBands) / zoom,
                                 (kShortTransform * (j + 1) / kBands) / zoom};
    }
}

const int *long_band_table() { return g_long_bands; }
const int *short_band_table() { return g_short_bands; }
const double *sine_window() { return g_sine; }
const double *long_window() { return g_long_window; }
const double *short_window() { return g_short_window; }

const BandRange *band_ranges(unsigned view_flags, int zoom) {
    if (view_flags & kNoteMode)
        return g_ranges[0];
    return g_ranges[zoom == 2 ? 2 : 1];
}

BandRange band_range(unsigned view_flags, int zoom, int band) {
    assert(band >= 0 && band < kBands && "band out of range");
    return band_ranges(view_flags, zoom)[band];
}
