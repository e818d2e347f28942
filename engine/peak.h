#pragma once

// The tuner behind the readout: where the sound in a band really is, to a fraction of a cent.
//
// The sine coefficients alone cannot tell: a sinusoid's energy alternates between even and
// odd coefficients with its phase, so the largest one swings by several dB. A second sine
// transform of the same windowed samples with every other sample negated gives the cosine
// part: with a the frame's coefficients and b those of the negated samples, both of n points,
//
//     P[k] = a[k]^2 + b[n - k]^2,   1 <= k <= n - 1
//
// is the power spectrum of the windowed samples zero-padded to 2n points, on the same
// frequency grid as the coefficients (k * 22050 / (2n) Hz). A parabola through the logarithm
// of P at a local maximum and its two neighbours gives a peak's frequency (its vertex).
//
// The peak test: a band holds a peak when
//   - P has a local maximum (above the coefficient below it, not below the one above it)
//     whose vertex lies inside the band: within half a semitone of the key in note mode,
//     within half a coefficient of the band's coefficients in linear mode; the strongest
//     such maximum is the band's peak;
//   - that maximum stands at least kPeakProminenceDb above the median of P over its
//     neighbourhood, 4 to 10 coefficients either side (just outside the main lobe of the
//     sine window, which ends 3 coefficients away, and near enough that the neighbouring
//     partials of a low harmonic tone fill less than half of it);
//   - the band's level is within kPeakRangeDb of the loudest band of the same frame.
// So noise (whose local maxima stand a few dB above their surroundings) and silence give no
// peak, and neither does a faint band far below what the picture shows.

constexpr double kPeakProminenceDb = 20.0;
constexpr double kPeakRangeDb = 50.0; // the span of a full bar

// The frequency in Hz of the strongest peak inside band j of the last frame drawn, for the
// given view (bit 0 of the flags note mode; the zoom, 1 or 2, counts in linear mode only),
// into *hz. False when the band holds no peak by the test above, or when the last frame was
// not drawn in this view (as for drawn_band_level). Reads the sample history, which must
// still hold what that frame analysed (it changes only right before a frame). Runs one sine
// transform of the band's size in static work areas of its own; allocates nothing.
bool find_band_peak(unsigned view_flags, int zoom, int band, double *hz);
