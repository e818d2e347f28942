#include "engine_test.h"

#include "engine/peak.h"

#include <array>
#include <random>

namespace {

struct Peak : EngineTest {};

using Tones = std::vector<std::array<double, 3>>; // Hz, amplitude (full scale 1), phase

// Writes the tones into the history, fading by `decay_db` across its last `span` samples
// (steady before them), plus uniform noise of `noise` full scale.
void play(const Tones &tones, double decay_db = 0.0, int span = 8192, double noise = 0.0,
          unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> uniform(-noise, noise);
    for (int i = 0; i < kHistorySamples; ++i) {
        const int into = std::max(0, i - (kHistorySamples - span));
        double v = uniform(gen);
        for (const auto &[hz, amplitude, phase] : tones)
            v += amplitude * std::pow(10.0, -decay_db / 20.0 * into / span) *
                 std::sin(2 * M_PI * hz * i / 22050.0 + phase);
        sample_history()[i] = static_cast<std::int16_t>(std::lround(32767.0 * v));
    }
}

int key_of(double hz) { return static_cast<int>(std::lround(12.0 * std::log2(hz / 27.5))); }

// In cents, how far band j's peak after a frame of the view lies from `hz`; NAN for none.
double error_after_frame(unsigned flags, int zoom, int band, double hz) {
    set_bass_zoom(zoom);
    render_frame(flags);
    double found = 0.0;
    return find_band_peak(flags, zoom, band, &found) ? 1200.0 * std::log2(found / hz) : NAN;
}

// Tones at several phases, from the long transform's keys (a cent allowed at A1, where a
// coefficient spans 42 cents) to the short one's, on and between keys, in both views.
TEST_F(Peak, FindsPureTonesToHalfACentAtAnyPhase) {
    const struct {
        unsigned flags;
        int zoom, band;
        double hz;
    } tones[] = {// A1 +17 cents, A2, E3 -40 cents, A4 +12 and -16 cents, C8 -33 cents
                 {kNoteMode, 1, 12, 55.543}, {kNoteMode, 1, 24, 110.0}, {kNoteMode, 1, 31, 161.06},
                 {kNoteMode, 1, 48, 443.0},  {kNoteMode, 1, 48, 436.0}, {kNoteMode, 1, 87, 4107.0},
                 {0, 1, 9, 1234.5},          {0, 2, 4, 300.0}};
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> phase(0.0, 2 * M_PI);
    for (const auto &t : tones) {
        for (int run = 0; run < 5; ++run) {
            play({{t.hz, 0.5, phase(gen)}});
            EXPECT_NEAR(error_after_frame(t.flags, t.zoom, t.band, t.hz), 0.0,
                        t.hz < 110.0 ? 1.0 : 0.5)
                << t.hz << " Hz, band " << t.band << ", flags " << t.flags << ", run " << run;
        }
    }
}

// Six harmonics of A1 at falling strength: the key of each reports that harmonic, not a
// neighbour, though they stand only 10 short-transform coefficients apart (their sidelobes
// cost a few cents); a 10 dB decay across the analysed samples costs less than a cent, for
// the long transform (all 8192) and the short one (the newest 2048).
TEST_F(Peak, HarmonicsAndDecayingTonesKeepTheirPlace) {
    const Tones harmonics = {{55.0, 0.3, 0.7},    {110.0, 0.15, 1.4}, {165.0, 0.1, 2.1},
                             {220.0, 0.075, 2.8}, {275.0, 0.06, 3.5}, {330.0, 0.05, 4.2}};
    play(harmonics);
    for (const auto &[hz, amplitude, phase] : harmonics)
        EXPECT_NEAR(error_after_frame(kNoteMode, 1, key_of(hz), hz), 0.0, 5.0) << hz << " Hz";
    for (double hz : {111.09, 443.0, 2500.0}) { // the first from the long transform
        for (double phase : {0.0, 1.0, 2.0}) {
            play({{hz, 0.5, phase}}, 10.0, hz < 170.0 ? 8192 : 2048);
            EXPECT_NEAR(error_after_frame(kNoteMode, 1, key_of(hz), hz), 0.0, 1.0)
                << hz << " Hz decaying, phase " << phase;
        }
    }
}

// Silence and noise hold no peak in any band of either view, but a tone in noise does; a tone
// 60 dB below the loudest band does not, 40 dB below it does.
TEST_F(Peak, NoPeakInNoiseSilenceOrFarBelowTheLoudestBand) {
    double hz = 0.0;
    for (double noise : {0.0, 0.3}) { // silence, then noise of three seeds
        for (unsigned seed : {1u, 2u, 3u}) {
            play({}, 0.0, 8192, noise, seed);
            for (unsigned flags : {kNoteMode, 0u}) {
                render_frame(flags);
                for (int band = 0; band < kBands; ++band)
                    EXPECT_FALSE(find_band_peak(flags, 1, band, &hz))
                        << "seed " << seed << " flags " << flags << " band " << band;
            }
        }
    }
    play({{1000.0, 0.5, 0.0}, {443.0, 0.0005, 0.0}}, 0.0, 8192, 0.0001);
    EXPECT_TRUE(std::isnan(error_after_frame(kNoteMode, 1, 48, 443.0))) << "60 dB below";
    play({{1000.0, 0.5, 0.0}, {443.0, 0.005, 0.0}}, 0.0, 8192, 0.0001);
    EXPECT_NEAR(error_after_frame(kNoteMode, 1, 48, 443.0), 0.0, 1.0) << "40 dB below";
}

} // namespace
