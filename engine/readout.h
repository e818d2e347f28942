#pragma once

#include <string>

// The readout under the pointer: which band a picture column shows and what that band is,
// in words, from the same band tables the frame reads, so the two never disagree.

// The band whose bar stands over picture column x (bars are 4 columns wide, the last one
// the black gap); -1 left or right of the picture.
int band_at_column(int x);

// Band j's piano key with its octave (octaves begin at C): "A0", "A#0", "C1", ... "C8".
std::string key_name(int band);

// What band j stands for in the given view (bit 0 of the flags note mode; the zoom factor,
// 1 or 2, counts in linear mode only). Note mode: the key and its equal-tempered
// frequency, A4 = 440 Hz: "A4 440.0 Hz". Linear mode: the frequencies of the first and
// last coefficient the band reads, in whole hertz: "431–452 Hz".
std::string band_frequency_text(unsigned view_flags, int zoom, int band);

// A band level in dB against a full bar (80 rows span 50 dB, the top at a level of
// 10^2.5), in whole dB: "-12 dB", "0 dB", "+3 dB"; "silent" for a level of 0.
std::string level_text(double level);

// The peak found at `hz` in band j, in words: its frequency and its offset in whole cents
// (with its sign, "+0" on the key) from band j's key in note mode, "peak 443.0 Hz +12 cents";
// from the nearest key, named, in linear mode, "peak 1234.5 Hz D#6 -3 cents". Empty for a
// frequency that is not a positive number.
std::string peak_text(unsigned view_flags, int band, double hz);

// The whole readout of band j: the frequency text, then the level the last frame drew for
// it when that frame was of this view, then the peak in it if it holds one (find_band_peak):
// "A4 440.0 Hz, -12 dB, peak 443.0 Hz +12 cents". The peak is sought only here, so only
// while a readout shows.
std::string describe_band(unsigned view_flags, int zoom, int band);

// What the picture shows at picture pixel (x, y), in words, as both programs' readouts say it:
// over the spectrum, and over the spectrogram, the band (describe_band); over the keyboard
// its key; nothing over the scope, the frequency labels or outside the picture.
std::string describe_pixel(unsigned view_flags, int zoom, int x, int y);
