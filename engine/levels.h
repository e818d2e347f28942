#pragma once

#include "engine/tables.h"

// From transform coefficients to pixels: the peak of a band, its level, the bar height and
// the colours of bar rows and spectrogram cells.

constexpr int kMaxBarHeight = 80;

// The largest |x[m]| for start <= m < end; 0 for an empty range.
double band_peak(const double *x, int start, int end);

// The band level of a peak: the short transform's peak as it is, the long transform's
// (four times as many samples under a window four times as long) divided by four.
double band_level(BandBuffer buffer, double peak);

// 16 * log10(level^2), truncated toward zero and held to 0..80: one row per 0.625 dB, 0 for
// levels below 1.0746 (and for 0, tiny or non-numeric levels), 80 from 316.23 up.
int bar_height(double level);

// Colour of bar row k (0 at the bottom): 32 in rows 0..2 rising to 63 in rows 78 and 79.
unsigned char bar_colour(int row);

// Colour of a spectrogram cell for a bar height: 16 for heights 0..2, up to 63 for 80.
unsigned char spectrogram_colour(int height);
