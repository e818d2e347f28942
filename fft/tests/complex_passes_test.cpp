#include "fft/tests/oracles.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace fft_test;

// The passes followed by the permutation are the DFT of the n/2 complex values, at every
// size, with the table built for that size (its first stage interpolated) and with one built
// for 8192 whose interpolation factors are spoiled: a larger table never interpolates.
TEST(ComplexPasses, MatchDirectDftWithOwnAndLargerTables) {
    std::vector<int> index(66);
    std::vector<double> large(2048, not_a_number);
    make_twiddle_table(2048, index.data(), large.data());
    large[2] = large[3] = not_a_number;
    for (int n = 4; n <= 8192; n *= 2) {
        std::vector<double> own(std::max(n / 4, 2), not_a_number);
        make_twiddle_table(n / 4, index.data(), own.data());
        const std::vector<double> input = random_values(n, n);
        const std::vector<cplx> expected = direct_dft(input);
        for (bool larger : {false, n < 8192}) {
            SCOPED_TRACE(testing::Message() << n << (larger ? " larger table" : " own table"));
            std::vector<double> a = input;
            if (larger) {
                complex_transform(n, a.data(), 2048, large.data());
            } else {
                complex_transform(n, a.data(), n / 4, own.data());
            }
            if (n > 4) {
                bit_reverse_permute(n, index.data() + 2, a.data());
            }
            long double err = 0, scale = 0;
            for (int k = 0; k < n / 2; ++k) {
                err = std::max(err, std::abs(cplx(a[2 * k], a[2 * k + 1]) - expected[k]));
                scale = std::max(scale, std::abs(expected[k]));
            }
            EXPECT_LT(err, 1e-14 * scale);
        }
    }
}

} // namespace
