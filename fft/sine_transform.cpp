// The sine transform entry: table upkeep, then difference step, real split, complex FFT,
// permutation and the final rotation, all in place on the caller's array.

#include "fft/complex_value.h"
#include "fft/fft.h"
#include "fft/transform_steps.h"

#include <cassert>

namespace {

bool is_transform_size(int n) { return n >= 4 && (n & (n - 1)) == 0; }

// A twiddle table size that a build can have left behind: 0 (nothing built) or n/4 for a
// power-of-two n >= 4.
bool is_built_size(int nw) { return nw >= 0 && (nw & (nw - 1)) == 0; }

} // namespace

void sine_pre_step(int n, double *a) {
    double *__restrict x = a;
    const double t = x[n - 1];
    // Descending, so each pass reads x[j - 1] before the next pass overwrites it. The pair
    // (j, j + 1) becomes (x[j] - x[j-1], -x[j] - x[j-1]).
    for (int j = n - 2; j >= 2; j -= 2) {
        store(x + j, v2d{x[j], -x[j]} - x[j - 1]);
    }
    const double first = x[0];
    x[1] = first + t;
    x[0] = first - t;
}

void real_split_step(int n, double *a, int nc, const double *split) {
    double *__restrict x = a;
    const double *__restrict c = split;
    const int m = n / 2;
    const int ks = 2 * nc / m;
    int kk = 0;
    // Complex values j/2 and k/2 (k = n - j) are worked on as {re, im} pairs.
    for (int j = 2; j < m; j += 2) {
        const int k = n - j;
        kk += ks;
        const Twiddle w(0.5 - c[nc - kk], c[kk]);
        const v2d xj = load(x + j);
        const v2d xk = load(x + k);
        const v2d y = rotate(xj + xk * v2d{-1.0, 1.0}, w);
        store(x + j, xj - y);
        store(x + k, xk + y * v2d{1.0, -1.0});
    }
}

void sine_post_step(int n, double *a, int nc, const double *split) {
    double *__restrict x = a;
    const double *__restrict c = split;
    const int m = n / 2;
    const int ks = nc / n;
    {
        const double wr = c[ks] - c[nc - ks];
        const double wi = c[ks] + c[nc - ks];
        const double xj = x[1];
        const double xk = x[n - 1];
        x[1] = wi * xk - wr * xj;
        x[n - 1] = wr * xk + wi * xj;
    }
    // The rest two at a time: j and j + 1 with their partners n - j and n - j - 1.
    for (int j = 2; j < m; j += 2) {
        const int kk = j * ks;
        const v2d low = v2d{c[kk], c[kk + ks]};
        const v2d high = v2d{c[nc - kk], c[nc - kk - ks]};
        const v2d wr = low - high;
        const v2d wi = low + high;
        const v2d xj = load(x + j);
        const v2d xk = swapped(load(x + n - j - 1));
        store(x + j, wi * xk - wr * xj);
        store(x + n - j - 1, swapped(wr * xk + wi * xj));
    }
    x[m] *= c[0];
}

void real_transform(int n, int direction, double *a, int *work_index, double *table) {
    assert(is_transform_size(n) && "transform size must be a power of two of at least 4");
    assert(direction == -1 && "only direction -1 (the sine transform) is supported");
    assert(a && work_index && table && "transform arrays must not be null");
    if (!is_transform_size(n) || direction != -1 || !a || !work_index || !table) {
        return;
    }

    // A work index whose entry 0 no build can have written (the caller never cleared it) is
    // treated as holding nothing, rather than trusted as a table size.
    int nw = work_index[0];
    if (!is_built_size(nw) || n / 4 > nw) {
        nw = n / 4;
        make_twiddle_table(nw, work_index, table);
    }
    int nc = work_index[1];
    if (n > nc) {
        nc = n;
        make_split_table(nc, work_index, table + nw);
    }

    sine_pre_step(n, a);
    if (n > 4) {
        real_split_step(n, a, nc, table + nw);
        complex_transform(n, a, nw, table);
        bit_reverse_permute(n, work_index + 2, a);
    } else {
        complex_transform(4, a, nw, table);
    }
    sine_post_step(n, a, nc, table + nw);
}
