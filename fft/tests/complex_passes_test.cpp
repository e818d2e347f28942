#include "fft/tests/oracles.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using namespace fft_test;

std::vector<double> random_values(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> a(n);
    for (double &v : a) {
        v = dist(gen);
    }
    return a;
}

// Largest distance between the complex values in a and the expected ones, relative to the
// largest expected magnitude.
double relative_error(const std::vector<double> &a, const std::vector<cplx> &expected) {
    long double err = 0;
    long double scale = 1e-300L;
    for (size_t k = 0; k < expected.size(); ++k) {
        err = std::max(err, std::abs(cplx(a[2 * k], a[2 * k + 1]) - expected[k]));
        scale = std::max(scale, std::abs(expected[k]));
    }
    return static_cast<double>(err / scale);
}

std::vector<double> twiddles(int nw) {
    std::vector<double> table(nw, not_a_number);
    std::vector<int> index(2);
    make_twiddle_table(nw, index.data(), table.data());
    return table;
}

// The passes plus the permutation are the DFT of the n/2 values, for every size; the table
// entries no build writes are NaN, so reading one would show.
TEST(ComplexPasses, MatchDirectDftAtEverySize) {
    std::vector<int> scratch(64);
    for (int n = 4; n <= 8192; n *= 2) {
        SCOPED_TRACE(n);
        const std::vector<double> table = twiddles(n / 4);
        std::vector<double> a = random_values(n, n);
        const std::vector<cplx> expected = direct_dft(a);
        complex_transform(n, a.data(), n / 4, table.data());
        if (n > 4) {
            bit_reverse_permute(n, scratch.data(), a.data());
        }
        EXPECT_LT(relative_error(a, expected), 1e-14);
    }
}

// Without the permutation the result sits in bit-reversed order: a pure tone lands on one
// reversed position, an impulse spreads evenly.
TEST(ComplexPasses, LeaveBitReversedOrder) {
    for (int n : {8, 64, 2048}) {
        const int m = n / 2;
        const std::vector<double> table = twiddles(n / 4);
        for (int k0 : {0, 1, 3, m / 2 + 1, m - 1}) {
            SCOPED_TRACE(testing::Message() << n << " tone " << k0);
            std::vector<double> a(n);
            for (int j = 0; j < m; ++j) {
                const cplx z = std::polar(1.0L, 2 * pi_l * j * k0 / m);
                a[2 * j] = static_cast<double>(z.real());
                a[2 * j + 1] = static_cast<double>(z.imag());
            }
            complex_transform(n, a.data(), n / 4, table.data());
            std::vector<cplx> expected(m, 0);
            expected[reverse_bits(k0, log2_of(m))] = m;
            EXPECT_LT(relative_error(a, expected), 1e-14);
        }
        std::vector<double> impulse(n);
        impulse[0] = 1;
        complex_transform(n, impulse.data(), n / 4, table.data());
        EXPECT_LT(relative_error(impulse, std::vector<cplx>(m, 1)), 1e-15);
    }
}

// One stage leaves the first half needing the even outputs, the third quarter the outputs
// 4k+1 and the fourth quarter the outputs 4k+3, each as a DFT of its own values.
TEST(ComplexPasses, OneStageSplitsTheSpectrum) {
    for (bool interpolated : {false, true}) {
        for (int L : {64, 128, 512}) {
            SCOPED_TRACE(testing::Message() << L << (interpolated ? " interpolated" : ""));
            const std::vector<double> table = twiddles(interpolated ? L / 4 : L / 2);
            std::vector<double> block = random_values(L, L);
            const std::vector<cplx> full = direct_dft(block);
            if (interpolated) {
                split_stage_interpolated(L, block.data(), table.data());
            } else {
                split_stage(L, block.data(), table.data());
            }
            auto part_dft = [&](int from, int len) {
                return direct_dft(
                    std::vector<double>(block.begin() + from, block.begin() + from + len));
            };
            const std::vector<cplx> even = part_dft(0, L / 2);
            const std::vector<cplx> odd1 = part_dft(L / 2, L / 4);
            const std::vector<cplx> odd3 = part_dft(3 * L / 4, L / 4);
            for (size_t k = 0; k < even.size(); ++k) {
                ASSERT_LT(std::abs(even[k] - full[2 * k]), 1e-13);
            }
            for (size_t k = 0; k < odd1.size(); ++k) {
                ASSERT_LT(std::abs(odd1[k] - full[4 * k + 1]), 1e-13);
                ASSERT_LT(std::abs(odd3[k] - full[4 * k + 3]), 1e-13);
            }
        }
    }
}

// Tables built for 8192 serve the smaller sizes from their deeper levels; the interpolated
// first stage never runs, so spoiling its factors changes nothing.
TEST(ComplexPasses, LargerTablesServeSmallerSizes) {
    std::vector<double> table = twiddles(2048);
    table[2] = not_a_number;
    table[3] = not_a_number;
    std::vector<int> scratch(64);
    for (int n : {2048, 512, 64, 16, 8}) {
        SCOPED_TRACE(n);
        std::vector<double> a = random_values(n, 3 * n);
        const std::vector<cplx> expected = direct_dft(a);
        complex_transform(n, a.data(), 2048, table.data());
        bit_reverse_permute(n, scratch.data(), a.data());
        EXPECT_LT(relative_error(a, expected), 1e-14);
    }
}

} // namespace
