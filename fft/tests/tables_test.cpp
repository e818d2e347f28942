#include "fft/tests/oracles.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

namespace {

using namespace fft_test;

// Every level of the chain against the angles it stands for; the two entries at the end that
// no level owns, and tables too small for a level, are left alone. The split table follows.
TEST(Tables, LevelsAndSplitTableHoldTheirAngles) {
    for (int nw : {1, 2, 4, 16, 512, 2048}) {
        SCOPED_TRACE(nw);
        std::vector<int> index(3, 99);
        std::vector<double> table(nw + 2, not_a_number);
        make_twiddle_table(nw, index.data(), table.data());
        EXPECT_EQ(index, (std::vector<int>{nw, 1, 99}));
        int start = 0;
        for (int h = nw / 2; h >= 2; start += h, h /= 2) {
            const long double delta = pi_l / 4 / h;
            const double *w = table.data() + start;
            EXPECT_EQ(w[0], 1.0);
            EXPECT_EQ(w[1], static_cast<double>(std::sqrt(0.5L)));
            for (int j = 2; j < h; ++j) {
                const long double angle = (j & ~3) * delta * (j % 4 >= 2 ? 3 : 1);
                const long double want = j < 4   ? 0.5L / std::cos((j == 2 ? 2 : 6) * delta)
                                         : j % 2 ? std::sin(angle)
                                                 : std::cos(angle);
                EXPECT_NEAR(w[j], want, 1e-15) << "level at " << start << ", entry " << j;
            }
        }
        EXPECT_EQ(start, std::max(nw - 2, 0));
        for (int i = start; i < nw + 2; ++i) {
            EXPECT_TRUE(std::isnan(table[i])) << "entry " << i << " was written";
        }
    }
    for (int nc : {4, 2048}) {
        std::vector<int> index(2);
        std::vector<double> split(nc + 1, not_a_number);
        make_split_table(nc, index.data(), split.data());
        EXPECT_EQ(index[1], nc);
        EXPECT_NEAR(split[0], std::sqrt(0.5L), 1e-16);
        for (int j = 1; j < nc; ++j) {
            EXPECT_NEAR(split[j], 0.5L * std::cos(j * pi_l / (2 * nc)), 1e-16) << j;
        }
        EXPECT_TRUE(std::isnan(split[nc]));
    }
}

// Every value moves to its bit-reversed place, the scratch holds the offsets of the reversed
// parts and nothing beyond them, and a second permutation undoes the first.
TEST(Tables, PermutationReversesIndexBits) {
    for (int bits = 2; bits <= 12; ++bits) {
        const int m = 1 << bits;
        SCOPED_TRACE(2 * m);
        std::vector<double> a(2 * m);
        for (int i = 0; i < 2 * m; ++i) {
            a[i] = i % 2 ? -(i / 2) : i / 2;
        }
        const std::vector<double> before = a;
        const int used = 1 << ((bits - 1) / 2);
        std::vector<int> scratch(used + 1, -1);
        bit_reverse_permute(2 * m, scratch.data(), a.data());
        for (int i = 0; i < m; ++i) {
            ASSERT_EQ(a[2 * reverse_bits(i, bits)], i);
            ASSERT_EQ(a[2 * reverse_bits(i, bits) + 1], -i);
        }
        for (int j = 0; j < used; ++j) {
            EXPECT_EQ(scratch[j], 2 * reverse_bits(j, bits)) << j;
        }
        EXPECT_EQ(scratch[used], -1);
        bit_reverse_permute(2 * m, scratch.data(), a.data());
        EXPECT_EQ(a, before);
    }
}

} // namespace
