#include "engine_test.h"

#include "engine/peak.h"

#include <random>

namespace {

struct Peak : EngineTest {};

using Tones = std::vector<std::vector<double>>; // each Hz, amplitude (full scale 1), phase

// Writes the tones into the history over uniform noise of `noise` full scale (from one
// seeded generator), fading by `decay_db` across its last `span` samples (steady before).
void play(const Tones &tones, double decay_db = 0.0, int span = 8192, double noise = 0.0) {
    static std::mt19937 gen(1);
    for (int i = 0; i < kHistorySamples; ++i) {
        double v = std::uniform_real_distribution<double>(-noise, noise)(gen),
               fade = std::pow(10.0, -decay_db / 20 * std::max(0, i + span - 8192) / span);
        for (const auto &t : tones)
            v += t[1] * fade * std::sin(2 * M_PI * t[0] * i / 22050.0 + t[2]);
        sample_history()[i] = static_cast<std::int16_t>(std::lround(32767.0 * v));
    }
}

// After a note-mode frame, in cents, how far the peak of the key nearest `hz` lies from it;
// NAN for no peak.
double error_after_frame(double hz) {
    render_frame(kNoteMode);
    double found = 0.0, band = std::round(12.0 * std::log2(hz / 27.5));
    return find_band_peak(kNoteMode, 1, int(band), &found) ? 1200 * std::log2(found / hz) : NAN;
}

// Tones at several phases, from the long transform's keys (a cent allowed at A1, where a
// coefficient spans 42 cents) to the short one's, on and between keys: A1 +17 cents, A2,
// A#3 -33 cents (nearer a coefficient of the key below), A4 +12 and -16 cents, C8 -33 cents.
// Six harmonics of A1 at falling strength: the key of each reports that harmonic, not a
// neighbour, though they stand only 10 short-transform coefficients apart (their sidelobes
// cost a few cents). A 10 dB decay across the analysed samples costs less than a cent, for
// the long transform (all 8192) and the short one (the newest 2048).
TEST_F(Peak, FindsTonesToAFractionOfACentAndNoneInNoiseOrFarBelowTheLoudest) {
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> random_phase(0.0, 2 * M_PI);
    for (double hz : {55.543, 110.0, 228.68, 443.0, 436.0, 4107.0}) {
        for (int run = 0; run < 5; ++run) {
            play({{hz, 0.5, random_phase(gen)}});
            EXPECT_NEAR(error_after_frame(hz), 0, hz < 60 ? 1 : .5) << hz << " Hz, run " << run;
        }
    }
    const Tones harmonics = {{55.0, 0.3, 0.7},    {110.0, 0.15, 1.4}, {165.0, 0.1, 2.1},
                             {220.0, 0.075, 2.8}, {275.0, 0.06, 3.5}, {330.0, 0.05, 4.2}};
    play(harmonics);
    for (const auto &h : harmonics)
        EXPECT_NEAR(error_after_frame(h[0]), 0.0, 5.0) << h[0] << " Hz";
    for (double hz : {111.09, 443.0, 2500.0}) {
        play({{hz, 0.5, hz / 100}}, 10.0, hz < 170.0 ? 8192 : 2048); // 111 Hz: the long one
        EXPECT_NEAR(error_after_frame(hz), 0.0, 1.0) << hz << " Hz decaying";
    }
    // Silence and noise hold no peak in any band; a tone (in faint noise) 60 dB below the
    // loudest band holds none either, while harmonics 16 dB below it did.
    for (int seed : {0, 1, 2, 3}) { // silence, then three stretches of noise
        play({}, 0.0, 8192, seed ? 0.3 : 0.0);
        for (int band = 0; band < kBands; ++band)
            EXPECT_TRUE(std::isnan(error_after_frame(27.5 * std::pow(2.0, band / 12.0)))) << band;
    }
    play({{1000.0, 0.5, 0.0}, {443.0, 0.0005, 0.0}}, 0.0, 8192, 0.0001);
    EXPECT_TRUE(std::isnan(error_after_frame(443.0))) << "60 dB below";
}

} // namespace
