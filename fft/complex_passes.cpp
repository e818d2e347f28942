// The split-radix complex FFT inside the sine transform: a recursive driver for long blocks,
// a fixed stage schedule for blocks of at most 512 doubles, and fixed 16- and 8-point pieces.
//
// A twiddle is a pair (c, s); multiplying y by it gives y * (c - i s). One group of four
// table entries (cos t, sin t, cos 3t, sin 3t) serves a butterfly and its mirror, whose
// angle is pi/2 - t: the mirror's pairs are (s1, c1) and (-s3, -c3).

#include "fft/complex_value.h"
#include "fft/transform_steps.h"

namespace {

// The split-radix butterfly on the complex values at offsets j, j+q, j+2q, j+3q of a block
// (q a quarter of the block in doubles). With t1 = t3 = 1 it is the butterfly at offset 0.
template <bool unit>
inline void butterfly(double *__restrict b, int q, int j, const Twiddle &t1, const Twiddle &t3) {
    double *__restrict p0 = b + j;
    double *__restrict p1 = p0 + q;
    double *__restrict p2 = p1 + q;
    double *__restrict p3 = p2 + q;
    const v2d z0 = load(p0);
    const v2d z1 = load(p1);
    const v2d z2 = load(p2);
    const v2d z3 = load(p3);
    const v2d x1 = z0 - z2;
    const v2d m3 = times_minus_i(z1 - z3);
    store(p0, z0 + z2);
    store(p1, z1 + z3);
    if (unit) {
        store(p2, x1 + m3);
        store(p3, x1 - m3);
    } else {
        store(p2, rotate(x1 + m3, t1));
        store(p3, rotate(x1 - m3, t3));
    }
}

inline void butterfly(double *__restrict b, int q, int j, const Twiddle &t1, const Twiddle &t3) {
    butterfly<false>(b, q, j, t1, t3);
}

// The butterfly at offset 0, where both twiddles are 1.
inline void butterfly_unit(double *__restrict b, int q) {
    const Twiddle one(1.0, 0.0);
    butterfly<true>(b, q, 0, one, one);
}

// The butterfly and its mirror, which serves the angle pi/2 - t from the same table entries.
inline void butterfly_and_mirror(double *__restrict b, int q, int j, double c1, double s1,
                                 double c3, double s3) {
    butterfly(b, q, j, Twiddle(c1, s1), Twiddle(c3, s3));
    butterfly(b, q, q - j, Twiddle(s1, c1), Twiddle(-s3, -c3));
}

// The butterfly in the middle of the quarter, angle pi/4: twiddles (c4, c4) and (-c4, c4).
inline void butterfly_middle(double *__restrict b, int q, int j, double c4) {
    butterfly(b, q, j, Twiddle(c4, c4), Twiddle(-c4, c4));
}

// A 16-point radix-2 stage on the sixteen complex values at z: the sums stay in the first
// half, the differences times e^(-i pi k/8) go to the second.
inline void radix2_stage16(double *__restrict z, double c4, double c8, double s8) {
    const Twiddle pair[8] = {Twiddle(1.0, 0.0), Twiddle(c8, s8),   Twiddle(c4, c4),
                             Twiddle(s8, c8),   Twiddle(0.0, 1.0), Twiddle(-s8, c8),
                             Twiddle(-c4, c4),  Twiddle(-c8, s8)};
    for (int k = 0; k < 8; ++k) {
        const v2d lo = load(z + 2 * k);
        const v2d hi = load(z + 2 * k + 16);
        store(z + 2 * k, lo + hi);
        const v2d y = lo - hi;
        if (k == 0) {
            store(z + 16, y);
        } else if (k == 4) {
            store(z + 24, times_minus_i(y));
        } else {
            store(z + 2 * k + 16, rotate(y, pair[k]));
        }
    }
}

// The 8-point transform of the eight complex values at z, left in bit-reversed order.
inline void kernel8(double *__restrict z, double c4) {
    v2d y[4], d[4];
    for (int k = 0; k < 4; ++k) {
        const v2d lo = load(z + 2 * k);
        const v2d hi = load(z + 2 * k + 8);
        y[k] = lo + hi;
        d[k] = lo - hi;
    }
    const v2d sum = y[0] + y[2];
    const v2d both = y[1] + y[3];
    const v2d diff = y[0] - y[2];
    const v2d turned = times_minus_i(y[1] - y[3]);
    store(z, sum + both);
    store(z + 2, sum - both);
    store(z + 4, diff + turned);
    store(z + 6, diff - turned);
    const v2d d2 = times_minus_i(d[2]);
    const v2d d3 = times_minus_i(d[3]);
    const v2d p = d[0] + d2;
    const v2d r = d[0] - d2;
    const v2d q = rotate(d[1] + d3, Twiddle(c4, c4));
    const v2d u = rotate(d[1] - d3, Twiddle(-c4, c4));
    store(z + 8, p + q);
    store(z + 10, p - q);
    store(z + 12, r + u);
    store(z + 14, r - u);
}

// The stage of a block: interpolated when the block is longer than level 0 serves.
inline void block_stage(int L, double *block, int nw, const double *twiddle) {
    if (L / 2 > nw) {
        split_stage_interpolated(L, block, twiddle);
    } else {
        split_stage(L, block, twiddle + nw - L / 2);
    }
}

// Finishes a block of L doubles. Long blocks go depth first so that each half and quarter
// is finished while it is still in cache; blocks of at most 512 doubles (4 KB) already fit
// and are finished stage by stage across the whole block.
void transform_block(int L, double *b, int nw, const double *twiddle) {
    while (L > 512) {
        block_stage(L, b, nw, twiddle);
        transform_block(L / 2, b, nw, twiddle);
        transform_block(L / 4, b + L / 2, nw, twiddle);
        b += 3 * L / 4;
        L /= 4;
    }
    if (L > 32) {
        block_stage(L, b, nw, twiddle);
        if (L / 2 > 32) {
            split_stage(L / 2, b, twiddle + nw - L / 4);
            // Visit, for each length m, exactly the blocks of m doubles that the stages so far
            // have split off and not yet transformed (for L = 512: m = 128 at 0, 256, 384;
            // m = 64 at 0, 128, 192, 256, 384).
            for (int m = L / 4; m > 32; m /= 2) {
                for (int k = m; k <= L; k *= 4) {
                    for (int j = k - m; j < L; j += 2 * k) {
                        split_stage(m, b + j, twiddle + nw - m / 2);
                    }
                }
            }
        }
        leaf_stages(L, b, twiddle + nw - 8);
    } else if (L > 8) {
        leaf_stages(L, b, twiddle + nw - L / 4);
    } else {
        small_kernel(L, b);
    }
}

} // namespace

void split_stage(int L, double *block, const double *level) {
    const double *__restrict w = level;
    const int q = L / 4;
    butterfly_unit(block, q);
    for (int i = 1; i < L / 16; ++i) {
        const double c1 = w[4 * i];
        const double s1 = w[4 * i + 1];
        const double c3 = w[4 * i + 2];
        const double s3 = w[4 * i + 3];
        butterfly_and_mirror(block, q, 2 * i, c1, s1, c3, s3);
    }
    butterfly_middle(block, q, L / 8, w[1]);
}

void split_stage_interpolated(int L, double *block, const double *level0) {
    const double *__restrict w = level0;
    const int q = L / 4;
    const double f1 = w[2];
    const double f3 = w[3];
    const double c4 = w[1];
    butterfly_unit(block, q);
    double p1c = 1.0;
    double p1s = 0.0;
    double p3c = 1.0;
    double p3s = 0.0;
    for (int i = 1; i < L / 32; ++i) {
        const double c1 = w[4 * i];
        const double s1 = w[4 * i + 1];
        const double c3 = w[4 * i + 2];
        const double s3 = w[4 * i + 3];
        // The odd k = 2i - 1 lies midway between the table's k - 1 and k + 1.
        const double o1c = f1 * (p1c + c1);
        const double o1s = f1 * (p1s + s1);
        const double o3c = f3 * (p3c + c3);
        const double o3s = f3 * (p3s + s3);
        const int jo = 4 * i - 2;
        butterfly_and_mirror(block, q, jo, o1c, o1s, o3c, o3s);
        butterfly_and_mirror(block, q, 4 * i, c1, s1, c3, s3);
        p1c = c1;
        p1s = s1;
        p3c = c3;
        p3s = s3;
    }
    // The last odd k lies between the last table twiddle and pi/4 (3 pi/4 for t3).
    const double o1c = f1 * (c4 + p1c);
    const double o1s = f1 * (c4 + p1s);
    const double o3c = f3 * (p3c - c4);
    const double o3s = f3 * (c4 + p3s);
    const int jo = L / 8 - 2;
    butterfly(block, q, jo, Twiddle(o1c, o1s), Twiddle(o3c, o3s));
    butterfly_middle(block, q, L / 8, c4);
    butterfly(block, q, q - jo, Twiddle(o1s, o1c), Twiddle(-o3s, -o3c));
}

void leaf_stages(int L, double *block, const double *level) {
    const double c4 = level[1];
    if (L >= 32) {
        // level[2] = 0.5 / cos(pi/8), from which sin(pi/8) and cos(pi/8) follow exactly
        // enough without a table entry of their own.
        const double t = level[2];
        const double s8 = c4 * t;
        const double c8 = t + s8;
        for (int e = 32; e <= L; e *= 4) {
            for (int f = e - 32; f < L; f += 2 * e) {
                radix2_stage16(block + f, c4, c8, s8);
            }
        }
    }
    for (int off = 0; off < L; off += 16) {
        kernel8(block + off, c4);
    }
}

void small_kernel(int L, double *block) {
    double *__restrict z = block;
    if (L == 8) {
        const double x0r = z[0] + z[4];
        const double x0i = z[1] + z[5];
        const double x1r = z[0] - z[4];
        const double x1i = z[1] - z[5];
        const double x2r = z[2] + z[6];
        const double x2i = z[3] + z[7];
        const double x3r = z[2] - z[6];
        const double x3i = z[3] - z[7];
        z[0] = x0r + x2r;
        z[1] = x0i + x2i;
        z[2] = x0r - x2r;
        z[3] = x0i - x2i;
        z[4] = x1r + x3i;
        z[5] = x1i - x3r;
        z[6] = x1r - x3i;
        z[7] = x1i + x3r;
    } else if (L == 4) {
        const double x0r = z[0] + z[2];
        const double x0i = z[1] + z[3];
        z[2] = z[0] - z[2];
        z[3] = z[1] - z[3];
        z[0] = x0r;
        z[1] = x0i;
    }
}

void complex_transform(int n, double *a, int nw, const double *twiddle) {
    transform_block(n, a, nw, twiddle);
}
