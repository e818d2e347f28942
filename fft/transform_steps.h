#pragma once

// The inner steps of real_transform, shared by the transform's files. Nothing here validates its
// arguments: real_transform checks n and the direction once and then calls these with
// sizes it knows to be sound.
//
// The data array a holds n doubles (n a power of two, at least 4). The complex steps read it
// as n/2 complex values: value i has its real part in a[2i] and its imaginary part in a[2i+1].
//
// The transform table of one size holds the twiddle table (entries 0 .. nw-1) followed by the
// split table (entries nw .. nw+nc-1). The work index holds nw in entry 0, nc in entry 1 and
// the permutation's scratch offsets from entry 2 on.

// Fills the twiddle table with its chain of levels and sets work_index[0] = nw and
// work_index[1] = 1 (so that the split table is rebuilt next). Level 0 starts at entry 0 and
// has nw/2 entries; each further level has half as many as the one before, down to 2.
// Entries nw-2 and nw-1 are never written. With nw <= 2 only the work index is written.
void make_twiddle_table(int nw, int *work_index, double *twiddle);

// Fills the split table (nc entries, starting at the transform table's entry nw) and sets
// work_index[1] = nc. Entry 0 is cos(pi/4); entry j, 1 <= j <= nc-1, is 0.5*cos(j*pi/(2*nc)).
void make_split_table(int nc, int *work_index, double *split);

// Puts the n/2 complex values of a into bit-reversed order of their index, using
// scratch[0 .. m-1] (m = 2^ceil((log2 n - 3) / 2)) for the offsets of the reversed halves.
// n >= 8. Applying it twice restores the array.
void bit_reverse_permute(int n, int *scratch, double *a);

// The split-radix decimation-in-frequency FFT of the n/2 complex values of a, kernel
// e^(-2*pi*i*jk/(n/2)), unscaled, leaving Z[k] at complex position rev(k). twiddle is the
// transform table with nw >= n/4 entries of twiddle levels (and nw >= 8 when n >= 32).
void complex_transform(int n, double *a, int nw, const double *twiddle);

// One split-radix stage over a block of L >= 64 doubles, with the table level that serves
// blocks of L doubles (the level starting at entry nw - L/2).
void split_stage(int L, double *block, const double *level);

// The same stage over a block of L >= 64 doubles that is twice as long as level 0 serves; the
// odd twiddles are interpolated from their even neighbours.
void split_stage_interpolated(int L, double *block, const double *level0);

// Finishes a block of 16 to 512 doubles whose split stages down to 64 doubles have run: the
// 16-point stages on every remaining 32-double block, then the 8-point kernel on every run of
// 16 doubles. level is the level with 4 entries (for L = 16: the level with 2 entries).
void leaf_stages(int L, double *block, const double *level);

// Transforms a block of 8 or 4 doubles completely; any other L is left alone.
void small_kernel(int L, double *block);

// Replaces the input by the differences of neighbours that turn the sine transform into a
// real DFT of the same length (in place).
void sine_pre_step(int n, double *a);

// Prepares the real DFT of n points for a complex FFT of n/2 points. n > 4; split is the
// split table of nc >= n entries.
void real_split_step(int n, double *a, int nc, const double *split);

// Rotates the coefficient pairs (j, n-j) into sine coefficients and scales a[n/2] by
// cos(pi/4). split is the split table of nc >= n entries.
void sine_post_step(int n, double *a, int nc, const double *split);
