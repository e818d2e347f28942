// The transform's caller-owned tables and the bit-reversal permutation.

#include "fft/complex_value.h"
#include "fft/transform_steps.h"

#include <cmath>

namespace {

const double quarter_pi = 0.78539816339744830962;

// Exchanges the complex values that start at entries p and q.
inline void swap_complex(double *a, int p, int q) {
    const v2d at_p = load(a + p);
    store(a + p, load(a + q));
    store(a + q, at_p);
}

} // namespace

void make_twiddle_table(int nw, int *work_index, double *twiddle) {
    work_index[1] = 1;
    work_index[0] = nw;
    if (nw <= 2) {
        return;
    }
    int h = nw / 2;
    const double delta = quarter_pi / h;
    const double c4 = std::cos(delta * h);
    twiddle[0] = 1.0;
    twiddle[1] = c4;
    if (h >= 4) {
        twiddle[2] = 0.5 / std::cos(2 * delta);
        twiddle[3] = 0.5 / std::cos(6 * delta);
    }
    for (int j = 4; j < h; j += 4) {
        const double theta = j * delta;
        twiddle[j] = std::cos(theta);
        twiddle[j + 1] = std::sin(theta);
        twiddle[j + 2] = std::cos(3 * theta);
        twiddle[j + 3] = std::sin(3 * theta);
    }
    // Each further level serves blocks half as long, so its angle step is twice the one above:
    // it takes every other group of four from the level above, and its interpolation factors
    // follow from that level's cos(4 delta) and cos(12 delta). No new trigonometry.
    int p = 0;
    while (h > 2) {
        const int s = p + h;
        h /= 2;
        twiddle[s] = 1.0;
        twiddle[s + 1] = c4;
        if (h >= 4) {
            twiddle[s + 2] = 0.5 / twiddle[p + 4];
            twiddle[s + 3] = 0.5 / twiddle[p + 6];
            for (int j = 4; j < h; j += 4) {
                twiddle[s + j] = twiddle[p + 2 * j];
                twiddle[s + j + 1] = twiddle[p + 2 * j + 1];
                twiddle[s + j + 2] = twiddle[p + 2 * j + 2];
                twiddle[s + j + 3] = twiddle[p + 2 * j + 3];
            }
        }
        p = s;
    }
}

void make_split_table(int nc, int *work_index, double *split) {
    work_index[1] = nc;
    if (nc <= 1) {
        return;
    }
    const int q = nc / 2;
    const double delta = quarter_pi / q;
    split[0] = std::cos(delta * q);
    split[q] = 0.5 * split[0];
    for (int j = 1; j < q; ++j) {
        split[j] = 0.5 * std::cos(j * delta);
        split[nc - j] = 0.5 * std::sin(j * delta);
    }
}

void bit_reverse_permute(int n, int *scratch, double *a) {
    // scratch[j] ends as the bit-reversed offset (in doubles) of the j-th of m equal parts, so
    // that each swap below pairs a low-bits index with its mirror in the high bits.
    scratch[0] = 0;
    int l = n;
    int m = 1;
    while (8 * m < l) {
        l /= 2;
        for (int j = 0; j < m; ++j) {
            scratch[m + j] = scratch[j] + l;
        }
        m *= 2;
    }
    const int m2 = 2 * m;
    const bool odd_bits = 8 * m == l;
    // The swaps for one (k, j): the groups of two index values that reverse into each other.
    auto swap_group = [&](int k, int j) {
        int j1 = 2 * j + scratch[k];
        int k1 = 2 * k + scratch[j];
        swap_complex(a, j1, k1);
        if (odd_bits) {
            // An odd number of index bits: the middle bit splits every group into four.
            j1 += m2;
            k1 += 2 * m2;
            swap_complex(a, j1, k1);
            j1 += m2;
            k1 -= m2;
            swap_complex(a, j1, k1);
            j1 += m2;
            k1 += 2 * m2;
            swap_complex(a, j1, k1);
        } else {
            j1 += m2;
            k1 += m2;
            swap_complex(a, j1, k1);
        }
    };
    // Every value is swapped at most once, so the groups may run in any order. They run for
    // four neighbouring k at a time: their values 2k + scratch[j] share a cache line, which
    // would otherwise leave the cache between one k and the next (the offsets in scratch are
    // powers of two apart and crowd the same cache sets).
    const int tile = m < 4 ? m : 4;
    for (int kb = 0; kb < m; kb += tile) {
        for (int j = 0; j < kb + tile - 1; ++j) {
            for (int k = j + 1 > kb ? j + 1 : kb; k < kb + tile; ++k) {
                swap_group(k, j);
            }
        }
        if (odd_bits) {
            for (int k = kb; k < kb + tile; ++k) {
                const int j1 = 2 * k + m2 + scratch[k];
                swap_complex(a, j1, j1 + m2);
            }
        }
    }
}
