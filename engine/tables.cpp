#include "engine/tables.h"

#include "engine/display.h"

#include <cassert>
#include <cmath>

namespace {

int g_long_bands[kLongBandEntries];   // long-transform element of boundaries 0..32
int g_short_bands[kShortBandEntries]; // short-transform element of boundaries 32..88
double g_sine[kSineWindowEntries];    // quarter sine, 0 up to just below 1

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
}

const int *long_band_table() { return g_long_bands; }
const int *short_band_table() { return g_short_bands; }
const double *sine_window() { return g_sine; }

BandRange band_range(unsigned view_flags, int zoom, int band) {
    assert(band >= 0 && band < kBands && "band out of range");
    if (view_flags & kNoteMode) {
        if (band < kFirstShortBand)
            return {BandBuffer::Long, g_long_bands[band], g_long_bands[band + 1]};
        const int i = band - kFirstShortBand;
        return {BandBuffer::Short, g_short_bands[i], g_short_bands[i + 1]};
    }
    // Linear mode: 88 nearly equal slices of the short transform, the lower half of it when
    // zoomed in on the bass.
    if (zoom != 2)
        zoom = 1;
    return {BandBuffer::Short, (kShortTransform * band / kBands) / zoom,
            (kShortTransform * (band + 1) / kBands) / zoom};
}
