#pragma once

// Measures the time from a block's delivery (on the device's thread) to the end of the
// paint that shows it. Only when SONAVEX_PAINT_TIMING is set in the environment; the
// median and worst figures go to standard error when the program ends. Its memory is bounded
// however long the program runs: the median comes from a uniform sample of the paints.

// Device thread: a block was delivered now (kept only if no earlier one awaits a paint).
void note_block_delivered();
// Window thread, at the end of a paint.
void note_paint_finished();
// Prints the figures if measuring.
void report_paint_timing();

// Measures the time from choosing a source in the "Record from" menu to the first frame
// whose tallest bar differs from the one tallest at the choice: with sources of distinct
// tones, the first frame that shows the new source. Only when SONAVEX_MOVE_TIMING is set;
// the figures go to standard error when the program ends. Window thread only.
void note_source_chosen();
// After every frame.
void note_frame_drawn();
