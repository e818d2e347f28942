#pragma once

// The constant tables the spectrum frame reads: where each of the 88 bands lies in the
// transform buffers, and the quarter sine from which both analysis windows are taken.

constexpr int kBands = 88;
constexpr int kLongTransform = 8192;  // the whole history, for the lowest 32 keys
constexpr int kShortTransform = 2048; // the newest quarter, for the rest
constexpr int kFirstShortBand = 32;   // note-mode bands from here on use the short transform
constexpr int kLongBandEntries = 33;  // boundaries 0..32
constexpr int kShortBandEntries = 57; // boundaries 32..88
constexpr int kSineWindowEntries = 4096;

// Fills the tables below. build_analysis_tables (frame.h) calls it.
void fill_analysis_tables();

// Boundary i of note mode (half a semitone below key i) as the first long-transform element
// above it, i = 0..32.
const int *long_band_table();
// The same for boundaries 32..88 in short-transform elements; boundary i is at i - 32.
const int *short_band_table();
// sin(i * pi / 8192) for i = 0..4095.
const double *sine_window();
// The quarter sine laid out as the two symmetric windows the frame applies: 8192 entries,
// sin(n * pi / 8192) rising to the middle and falling again, and 2048 entries,
// sin(n * pi / 2048) likewise. Each entry is a copy of a sine_window entry.
const double *long_window();
const double *short_window();

enum class BandBuffer { Long, Short };

// The elements a band reads: start inclusive, end exclusive, in the long or short buffer.
struct BandRange {
    BandBuffer buffer;
    int start;
    int end;
};

// All 88 band ranges of a view, band 0 first; the same as band_range for each band.
const BandRange *band_ranges(unsigned view_flags, int zoom);

// Band j (0..87) for the given view flags (bit 0 note mode) and bass zoom factor (1 or 2,
// read in linear mode only). Needs fill_analysis_tables for note mode.
BandRange band_range(unsigned view_flags, int zoom, int band);
