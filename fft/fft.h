#pragma once

// The in-place sine transform used by the spectrum analysis.
//
// real_transform(n, direction, a, work_index, table) computes, for direction -1 and the n
// real inputs x[0..n-1] held in a, the unnormalised type-II discrete sine transform
//
//     S[k] = sum_{j=0}^{n-1} x[j] * sin(pi * (2j + 1) * k / (2n)),   k = 1 .. n
//
// and leaves a[k] = S[k] for 1 <= k <= n-1 and a[0] = S[n] = sum_j (-1)^j x[j].
// Every entry is one real coefficient; nothing is scaled by n or 1/n. Coefficient k stands
// for k / (2n) cycles per sample.
//
// Work areas (owned by the caller, one pair per transform size, kept for the whole run):
//   work_index  ints; entry 0 must be set to 0 once before the first call. Entries 0 and 1
//               record how much of the table is built; entries from 2 on are scratch for
//               the bit-reversal offsets. It needs work_index_entries(n) entries:
//               2 + 2^ceil((log2 n - 3) / 2), 34 for 8192 and 18 for 2048.
//   table       doubles; work_table_entries(n) = 5n/4 entries for the largest n used with
//               it: n/4 twiddle factors, then n split factors.
// The first call for a size builds the tables inside the work areas; later calls of that
// size, or of any smaller power-of-two size, only read them: no trigonometry and no
// allocation after the first call. A call with a larger n than the work areas were built for
// rebuilds both tables in place (the areas must then be as large as that n needs).
//
// Typical use:
//     static int work_index[work_index_entries(8192)]; // entry 0 is 0 before the first call
//     static double table[work_table_entries(8192)];
//     real_transform(8192, -1, samples, work_index, table);
//
// Calls that share work areas must not overlap; calls on distinct work areas may.
//
// Bad calls: n that is not a power of two of at least 4, a direction other than -1, or a null
// array is a programmer error. Debug builds stop on an assertion; release builds return at
// once without reading or writing any of the three arrays. A work index whose entry 0 is
// neither 0 nor a power of two (never cleared) is taken as holding no tables, and both tables
// are built. The array sizes themselves cannot be checked: the caller provides them.
void real_transform(int n, int direction, double *a, int *work_index, double *table);

// The sizes of the two work areas for transforms of up to n points (n a power of two of at
// least 4), as described above; usable as array bounds.
constexpr int work_index_entries(int n) {
    int bits = 0; // log2 n
    while ((1 << bits) < n)
        ++bits;
    const int half = bits > 3 ? (bits - 2) / 2 : 0; // ceil((bits - 3) / 2)
    return 2 + (1 << half);
}
constexpr int work_table_entries(int n) { return 5 * n / 4; }
