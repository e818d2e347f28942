#include "engine/readout.h"

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/peak.h"
#include "engine/tables.h"

#include <cmath>
#include <cstdio>

int band_at_column(int x) {
    if (x < 0 || x >= kPictureWidth)
        return -1;
    return x / 4;
}

// The key `semitone` semitones above A0, also beyond the keyboard (a peak in linear mode
// may lie below A0 or above C8); the octave number changes at each C.
static std::string note_name(int semitone) {
    static const char *const kKeys[12] = {"A",  "A#", "B", "C",  "C#", "D",
                                          "D#", "E",  "F", "F#", "G",  "G#"};
    const int from_c = semitone + 9; // semitones above C0
    const int octave = from_c >= 0 ? from_c / 12 : -((11 - from_c) / 12);
    return kKeys[(semitone % 12 + 12) % 12] + std::to_string(octave);
}

std::string key_name(int band) {
    if (band < 0 || band >= kBands)
        return std::string();
    return note_name(band);
}

// The frequency a coefficient of the short transform stands for: m * 22050 / 4096 Hz.
static double short_element_hz(int m) { return m * 22050.0 / (2.0 * kShortTransform); }

std::string band_frequency_text(unsigned view_flags, int zoom, int band) {
    if (band < 0 || band >= kBands)
        return std::string();
    char text[40];
    if (view_flags & kNoteMode) {
        std::snprintf(text, sizeof text, "%s %.1f Hz", key_name(band).c_str(),
                      27.5 * std::pow(2.0, band / 12.0));
    } else {
        const BandRange range = band_range(view_flags, zoom, band);
        std::snprintf(text, sizeof text, "%ld\u2013%ld Hz",
                      std::lround(short_element_hz(range.start)),
                      std::lround(short_element_hz(range.end - 1)));
    }
    return text;
}

std::string level_text(double level) {
    if (!(level > 0.0))
        return "silent";
    // A full bar is a level of 10^2.5, 50 dB above a level of 1.
    const long db = std::lround(20.0 * std::log10(level) - 50.0);
    char text[24];
    std::snprintf(text, sizeof text, db > 0 ? "+%ld dB" : "%ld dB", db);
    return text;
}

std::string peak_text(unsigned view_flags, int band, double hz) {
    if (!(hz > 0.0) || !std::isfinite(hz))
        return std::string();
    // Semitones above A0 of the peak, then the key it is measured against: the band's own
    // key in note mode, the nearest one in linear mode.
    const double semitones = 12.0 * std::log2(hz / 27.5);
    const long key = view_flags & kNoteMode ? band : std::lround(semitones);
    const long cents = std::lround(100.0 * (semitones - key));
    char text[64];
    std::snprintf(text, sizeof text, "peak %.1f Hz %s%s%ld cents", hz,
                  view_flags & kNoteMode ? "" : (note_name(static_cast<int>(key)) + " ").c_str(),
                  cents < 0 ? "" : "+", cents);
    return text;
}

std::string describe_band(unsigned view_flags, int zoom, int band) {
    std::string text = band_frequency_text(view_flags, zoom, band);
    double level = 0.0;
    if (text.empty() || !drawn_band_level(view_flags, zoom, band, &level))
        return text;
    text += ", " + level_text(level);
    double hz = 0.0;
    if (find_band_peak(view_flags, zoom, band, &hz))
        text += ", " + peak_text(view_flags, band, hz);
    return text;
}

std::string describe_pixel(unsigned view_flags, int zoom, int x, int y) {
    const int band = band_at_column(x);
    if (band < 0 || y < 0 || y >= kPictureHeight)
        return std::string();
    if (y >= kStripTop && y < kLowerPaneTop)
        return view_flags & kNoteMode ? key_name(band) : std::string();
    if (y < kStripTop || !(view_flags & kScopeMode))
        return describe_band(view_flags, zoom, band);
    return std::string();
}
