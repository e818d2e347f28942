#include "fft/tests/oracles.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace fft_test;

const long double c4 = std::sqrt(0.5L);

// Every level of the chain against the trigonometry it stands for, and the two entries at
// the end that no level owns left as they were.
TEST(Tables, TwiddleLevelsHoldTheirAngles) {
    for (int nw : {4, 8, 16, 512, 2048}) {
        SCOPED_TRACE(nw);
        std::vector<int> index(66, -7);
        std::vector<double> table(nw + 4, not_a_number);
        make_twiddle_table(nw, index.data(), table.data());
        EXPECT_EQ(index[0], nw);
        EXPECT_EQ(index[1], 1);

        std::vector<int> starts;
        int start = 0;
        for (int h = nw / 2; h >= 2; start += h, h /= 2) {
            starts.push_back(start);
            const long double delta = pi_l / 4 / h;
            const double *w = table.data() + start;
            EXPECT_EQ(w[0], 1.0);
            EXPECT_EQ(w[1], static_cast<double>(std::cos(pi_l / 4)));
            if (h >= 4) {
                EXPECT_NEAR(w[2], 0.5L / std::cos(2 * delta), 1e-15);
                EXPECT_NEAR(w[3], 0.5L / std::cos(6 * delta), 1e-15);
            }
            for (int j = 4; j < h; j += 4) {
                EXPECT_NEAR(w[j], std::cos(j * delta), 1e-15);
                EXPECT_NEAR(w[j + 1], std::sin(j * delta), 1e-15);
                EXPECT_NEAR(w[j + 2], std::cos(3 * j * delta), 1e-15);
                EXPECT_NEAR(w[j + 3], std::sin(3 * j * delta), 1e-15);
            }
        }
        EXPECT_EQ(start, nw - 2);
        for (int i = nw - 2; i < nw + 4; ++i) {
            EXPECT_TRUE(std::isnan(table[i])) << "entry " << i << " was written";
        }
        if (nw == 2048) {
            EXPECT_EQ(starts,
                      (std::vector<int>{0, 1024, 1536, 1792, 1920, 1984, 2016, 2032, 2040, 2044}));
        }
    }
    // A table too small to hold a level only records its size.
    for (int nw : {1, 2}) {
        std::vector<int> index(4, 99);
        double untouched[2] = {not_a_number, not_a_number};
        make_twiddle_table(nw, index.data(), untouched);
        EXPECT_EQ(index[0], nw);
        EXPECT_EQ(index[1], 1);
        EXPECT_EQ(index[2], 99);
        EXPECT_TRUE(std::isnan(untouched[0]) && std::isnan(untouched[1]));
    }
}

TEST(Tables, SplitTableHoldsHalfCosines) {
    for (int nc : {4, 8, 2048, 8192}) {
        std::vector<int> index(4, 0);
        std::vector<double> split(nc + 1, not_a_number);
        make_split_table(nc, index.data(), split.data());
        EXPECT_EQ(index[1], nc);
        EXPECT_NEAR(split[0], c4, 1e-16);
        for (int j = 1; j < nc; ++j) {
            EXPECT_NEAR(split[j], 0.5L * std::cos(j * pi_l / (2 * nc)), 1e-16) << nc << " " << j;
        }
        EXPECT_TRUE(std::isnan(split[nc]));
    }
}

TEST(Tables, PermutationReversesIndexBits) {
    for (int n = 8; n <= 8192; n *= 2) {
        SCOPED_TRACE(n);
        const int m = n / 2;
        std::vector<double> a(n);
        for (int i = 0; i < m; ++i) {
            a[2 * i] = i;
            a[2 * i + 1] = -i;
        }
        std::vector<int> scratch(64, -1);
        bit_reverse_permute(n, scratch.data(), a.data());
        const int bits = log2_of(m);
        for (int i = 0; i < m; ++i) {
            ASSERT_EQ(a[2 * reverse_bits(i, bits)], i);
            ASSERT_EQ(a[2 * reverse_bits(i, bits) + 1], -i);
        }
        // Offsets the work index must have room for, and nothing beyond them.
        const int used = 1 << ((log2_of(n) - 3 + 1) / 2);
        EXPECT_EQ(scratch[used], -1);
        if (n == 2048) {
            EXPECT_EQ(std::vector<int>(scratch.begin(), scratch.begin() + used),
                      (std::vector<int>{0, 1024, 512, 1536, 256, 1280, 768, 1792, 128, 1152, 640,
                                        1664, 384, 1408, 896, 1920}));
        }
        bit_reverse_permute(n, scratch.data(), a.data());
        for (int i = 0; i < m; ++i) {
            ASSERT_EQ(a[2 * i], i);
        }
    }
}

} // namespace
