#include "fft/fft.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

namespace {

using Values = std::vector<double>;
using Exact = std::vector<long double>;
const long double pi = 3.141592653589793238462643383279502884L;

Values random_values(int n, unsigned seed) {
    Values a(n);
    for (double &v : a)
        v = (seed = seed * 1664525u + 1013904223u) / 65536.0 - 32768.0;
    return a;
}

// The largest difference from the reference, relative to the reference's largest entry.
double error(const Values &got, const Exact &want) {
    long double err = 0, scale = 0;
    for (size_t k = 0; k < got.size(); ++k) {
        err = std::max(err, std::abs(got[k] - want[k]));
        scale = std::max(scale, std::abs(want[k]));
    }
    return static_cast<double>(err / scale);
}

// The DFT of the complex values interleaved in a (real, imaginary), interleaved the same way.
Exact direct_dft(const Values &a) {
    const long m = static_cast<long>(a.size() / 2);
    std::vector<std::complex<long double>> root(m), out(m);
    for (long i = 0; i < m; ++i)
        root[i] = std::polar(1.0L, -2 * pi * i / m);
    for (long k = 0; k < m; ++k)
        for (long j = 0; j < m; ++j)
            out[k] += std::complex<long double>(a[2 * j], a[2 * j + 1]) * root[j * k % m];
    return Exact(reinterpret_cast<long double *>(out.data()),
                 reinterpret_cast<long double *>(out.data() + m));
}

// S[k] = sum_j x[j] sin(pi (2j + 1) k / (2n)) for k = 1..n, with S[n] kept in entry 0.
Exact direct_sine_transform(const Values &x) {
    const long n = static_cast<long>(x.size());
    Exact sine(4 * n), out(n);
    for (long i = 0; i < 4 * n; ++i)
        sine[i] = std::sin(pi * i / (2 * n));
    for (long k = 1; k <= n; ++k)
        for (long j = 0; j < n; ++j)
            out[k % n] += x[j] * sine[(2 * j + 1) * k % (4 * n)];
    return out;
}

// Work areas as a caller keeps them: entry 0 as given (0 before the first call), entry 1 and
// the scratch garbage, the table NaN so that reading an entry no build has written spoils the
// result.
struct Work {
    Work(int n, int entry0) : index(66, 1 << 30), table(5 * n / 4, NAN) { index[0] = entry0; }
    Values run(Values a) {
        real_transform(static_cast<int>(a.size()), -1, a.data(), index.data(), table.data());
        return a;
    }
    std::vector<int> index;
    Values table;
};

// Every level of the twiddle chain against the angles it stands for; the two entries at the
// end that no level owns, and tables too small for a level, stay unwritten. The split table
// follows the twiddle table as the transform lays them out.
TEST(Tables, LevelsAndSplitTableHoldTheirAngles) {
    for (int nw : {1, 2, 4, 16, 2048}) {
        const int nc = 4 * nw;
        std::vector<int> index(3, 99);
        Values table(nw + nc + 1, NAN);
        make_twiddle_table(nw, index.data(), table.data());
        EXPECT_EQ(index, (std::vector<int>{nw, 1, 99}));
        make_split_table(nc, index.data(), table.data() + nw);
        EXPECT_EQ(index, (std::vector<int>{nw, nc, 99}));
        int start = 0;
        for (int h = nw / 2; h >= 2; start += h, h /= 2) {
            const long double d = pi / 4 / h;
            const long double head[] = {1, std::sqrt(0.5L), 0.5L / std::cos(2 * d),
                                        0.5L / std::cos(6 * d)};
            for (int j = 0; j < h; ++j) {
                const long double a = (j & ~3) * d * (j % 4 >= 2 ? 3 : 1);
                const long double want = j < 4 ? head[j] : j % 2 ? std::sin(a) : std::cos(a);
                EXPECT_NEAR(table[start + j], want, 1e-15) << nw << " " << start + j;
            }
        }
        for (int j = 0; j < nc; ++j) {
            const long double want = j ? 0.5L * std::cos(j * pi / (2 * nc)) : std::sqrt(0.5L);
            EXPECT_NEAR(table[nw + j], want, 1e-16) << nc << " " << j;
        }
        for (int unwritten : {start, nw - 1, nw + nc})
            EXPECT_TRUE(std::isnan(table[unwritten])) << nw << " " << unwritten;
    }
}

// The passes followed by the permutation give the DFT of the n/2 complex values. The scratch
// holds the offsets of the bit-reversed parts and nothing beyond; permuting twice is identity.
TEST(ComplexPasses, MatchDirectDftAndPermutationUndoesItself) {
    std::vector<int> index(66, -1);
    for (int n = 8, bits = 2; n <= 8192; n *= 2, ++bits) {
        Values table(n / 4, NAN), a = random_values(n, n);
        const Exact want = direct_dft(a);
        make_twiddle_table(n / 4, index.data(), table.data());
        complex_transform(n, a.data(), n / 4, table.data());
        const Values passes = a;
        bit_reverse_permute(n, index.data() + 2, a.data());
        EXPECT_LT(error(a, want), 1e-14) << n;
        const int used = 1 << (bits - 1) / 2;
        for (int j = 0; j < used; ++j)
            EXPECT_EQ(index[2 + j], std::find(a.begin(), a.end(), passes[2 * j]) - a.begin()) << n;
        EXPECT_EQ(index[2 + used], -1) << n;
        bit_reverse_permute(n, index.data() + 2, a.data());
        EXPECT_EQ(a, passes) << n;
    }
}

// Every size from 4 to 8192 against the direct sum, with work areas built once for 8192 (only
// read at smaller sizes; a second call repeats the first exactly), and with ones that grow with
// each larger size, starting from an entry 0 that no build can have left: not trusted.
TEST(Transform, MatchesDirectSumWithSharedAndGrowingWorkAreas) {
    Work shared(8192, 0), growing(8192, 12345);
    const Values x = random_values(8192, 1), first = shared.run(x), built = shared.table;
    EXPECT_EQ(shared.run(x), first);
    for (int n = 4; n <= 8192; n *= 2) {
        for (int kind = 0; kind < 5; ++kind) { // noise, impulse, constant, alternating, sine
            Values in = random_values(n, n);
            for (int j = 0; j < n && kind; ++j) {
                const double v[] = {0, !j ? 1.0 : 0.0, 1, 1.0 - j % 2 * 2, std::sin(j * 0.7753)};
                in[j] = v[kind];
            }
            const Exact want = direct_sine_transform(in);
            EXPECT_LE(error(shared.run(in), want), 1e-12) << n << ", input " << in[1];
            EXPECT_LE(error(growing.run(in), want), 1e-12) << n << ", input " << in[1];
        }
    }
    EXPECT_TRUE(shared.index[0] == 2048 && shared.index[1] == 8192);
    // Byte comparison, so that the entries never written (NaN) compare equal too.
    EXPECT_EQ(0, std::memcmp(built.data(), shared.table.data(), built.size() * sizeof(double)));
}

// A call the transform cannot serve stops a debug build and, in a release build, returns
// without reading or writing any array (exactly sized arrays let the sanitizers see a stray
// access).
TEST(Transform, BadCallsTouchNothing) {
    const char *why[] = {"power of two", "direction", "null"};
    const int calls[][3] = {{-8, -1, 0},  {0, -1, 0}, {2, -1, 0}, {6, -1, 0},
                            {100, -1, 0}, {64, 1, 1}, {64, 0, 1}, {64, -1, 2}};
    for (const auto &call : calls) {
        const int len = std::max(call[0], 1);
        Values a(len, 0.25), table(len, 0.5);
        std::vector<int> index(2, 0);
        EXPECT_DEBUG_DEATH(real_transform(call[0], call[1], call[2] == 2 ? nullptr : a.data(),
                                          index.data(), table.data()),
                           why[call[2]]);
        EXPECT_TRUE(a == Values(len, 0.25) && table == Values(len, 0.5) && !index[0] && !index[1])
            << call[0] << " " << call[1];
    }
}

} // namespace
