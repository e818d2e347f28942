#pragma once

#include "engine/tables.h"

// The per-block analysis and the view state it reads.

// Fills the band tables and the sine window, and marks both transform sizes unbuilt.
// Call once at start-up, before the first render_frame.
void build_analysis_tables();

// Analyses the sample history: 88 bars into the spectrum plane, one new spectrogram row,
// the scope trace. Needs build_analysis_tables, the display block and the history; does
// nothing when the display block or the history is absent. Allocates nothing.
void render_frame(unsigned view_flags);

// View state owned by the toolbar commands: view flags (bit 0 note, bit 1 scope; 3 after
// window creation) and the bass zoom factor (1 or 2; other values are taken as 1).
unsigned view_flags();
void set_view_flags(unsigned flags);
int bass_zoom();
void set_bass_zoom(int factor);

// Clears the spectrum plane (the bars vanish until the next frame).
void clear_spectrum_plane();

// The level behind band j's bar as the last frame drew it, into *level. False when no bar
// is on screen for that view: no frame yet, the plane cleared since, or the last frame was
// drawn in another mode or (in linear mode) at another bass zoom.
bool drawn_band_level(unsigned view_flags, int zoom, int band, double *level);

// The sine coefficients the last frame computed into the long or short transform buffer,
// elements 0 and 1 set to 0 (8192 or 2048 of them). The long buffer holds those of the last
// frame drawn in note mode.
const double *frame_coefficients(BandBuffer buffer);
