#include "fft/fft.h"
#include "fft/tests/oracles.h"
#include "fft/transform_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace fft_test;

// Largest difference from the direct sum, relative to the largest coefficient.
double relative_error(const std::vector<double> &a, const std::vector<double> &input) {
    const std::vector<long double> expected = direct_sine_transform(input);
    long double err = 0;
    long double scale = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        err = std::max(err, std::abs(a[k] - expected[k]));
        scale = std::max(scale, std::abs(expected[k]));
    }
    return static_cast<double>(scale > 0 ? err / scale : err);
}

std::vector<std::vector<double>> test_inputs(int n) {
    std::mt19937 gen(n);
    std::uniform_real_distribution<double> dist(-32768.0, 32767.0);
    std::vector<double> random(n), impulse(n), constant(n, 1.0), alternating(n), sine(n);
    for (int j = 0; j < n; ++j) {
        random[j] = dist(gen);
        alternating[j] = j % 2 ? -1.0 : 1.0;
        sine[j] = static_cast<double>(std::sin(2 * pi_l * j * 0.1234L));
    }
    impulse[0] = 1.0;
    return {random, impulse, constant, alternating, sine};
}

TEST(Transform, MatchesDirectSumAtEverySize) {
    for (int n = 4; n <= 8192; n *= 2) {
        int input_number = 0;
        for (const std::vector<double> &input : test_inputs(n)) {
            SCOPED_TRACE(testing::Message() << "n " << n << " input " << input_number++);
            WorkAreas work(n);
            std::vector<double> a = input;
            real_transform(n, -1, a.data(), work.index.data(), work.table.data());
            EXPECT_LE(relative_error(a, input), 1e-12);
        }
    }
    // A known value: the constant input's first coefficient is 1 / sin(pi / 4096).
    WorkAreas work(2048);
    std::vector<double> ones(2048, 1.0);
    real_transform(2048, -1, ones.data(), work.index.data(), work.table.data());
    EXPECT_NEAR(ones[1], 1303.797, 5e-4);
    std::vector<double> zeros(2048, 0.0);
    real_transform(2048, -1, zeros.data(), work.index.data(), work.table.data());
    EXPECT_EQ(zeros, std::vector<double>(2048, 0.0));
}

// The split step, the complex passes and the permutation together are an inverse real DFT
// of a spectrum whose two real end values share entries 0 and 1, whatever the split table's
// length.
TEST(Transform, SplitStepPreparesInverseRealDft) {
    for (int n : {8, 64, 2048}) {
        for (int nc : {n, 4 * n}) {
            SCOPED_TRACE(testing::Message() << n << " split table " << nc);
            std::vector<double> twiddle(n / 4, not_a_number), split(nc, not_a_number);
            std::vector<int> index(66);
            make_twiddle_table(n / 4, index.data(), twiddle.data());
            make_split_table(nc, index.data(), split.data());
            std::vector<double> p(n);
            std::mt19937 gen(n + nc);
            std::uniform_real_distribution<double> dist(-1.0, 1.0);
            std::generate(p.begin(), p.end(), [&] { return dist(gen); });

            std::vector<double> a = p;
            real_split_step(n, a.data(), nc, split.data());
            complex_transform(n, a.data(), n / 4, twiddle.data());
            bit_reverse_permute(n, index.data() + 2, a.data());
            for (int k = 0; k < n; ++k) {
                long double y = k % 2 ? p[1] : p[0];
                for (int j = 1; j < n / 2; ++j) {
                    const long double angle = 2 * pi_l * ((static_cast<long>(j) * k) % n) / n;
                    y += p[2 * j] * std::cos(angle) + p[2 * j + 1] * std::sin(angle);
                }
                ASSERT_NEAR(a[k], y, 1e-12 * n) << "k " << k;
            }
        }
    }
}

// Work areas are built by the first call of a size, whatever entry 1 held, and then only
// read: by repeated calls and by every smaller size. A larger size rebuilds them.
TEST(Transform, WorkAreasAreBuiltOnceAndReused) {
    WorkAreas work(8192);
    const std::vector<double> input = test_inputs(8192)[0];
    std::vector<double> first = input;
    real_transform(8192, -1, first.data(), work.index.data(), work.table.data());
    EXPECT_EQ(work.index[0], 2048);
    EXPECT_EQ(work.index[1], 8192);
    const std::vector<double> built = work.table;

    std::vector<double> second = input;
    real_transform(8192, -1, second.data(), work.index.data(), work.table.data());
    EXPECT_EQ(second, first);
    for (int n : {2048, 512, 16, 4}) {
        SCOPED_TRACE(n);
        for (const std::vector<double> &small_input : test_inputs(n)) {
            std::vector<double> a = small_input;
            real_transform(n, -1, a.data(), work.index.data(), work.table.data());
            EXPECT_LE(relative_error(a, small_input), 1e-12);
        }
        EXPECT_EQ(work.index[0], 2048);
        EXPECT_EQ(work.index[1], 8192);
    }
    // Bitwise comparison that treats the never-written NaN entries as equal.
    EXPECT_EQ(0, std::memcmp(built.data(), work.table.data(), built.size() * sizeof(double)));

    WorkAreas grown(8192);
    std::vector<double> a(16, 1.0);
    real_transform(16, -1, a.data(), grown.index.data(), grown.table.data());
    a = input;
    real_transform(8192, -1, a.data(), grown.index.data(), grown.table.data());
    EXPECT_EQ(grown.index[0], 2048);
    EXPECT_EQ(grown.index[1], 8192);
    EXPECT_EQ(a, first);
}

// A call the transform cannot serve stops in a debug build and, in a release build, returns
// without reading or writing any array (exactly sized arrays let the sanitizers see a stray
// access).
TEST(Transform, BadCallsTouchNothing) {
    for (int n : {-8, 0, 1, 2, 3, 6, 12, 100}) {
        SCOPED_TRACE(n);
        const int len = std::max(n, 1);
        std::vector<double> a(len, 0.25), table(len, 0.5);
        std::vector<int> index(2, 0);
        EXPECT_DEBUG_DEATH(real_transform(n, -1, a.data(), index.data(), table.data()),
                           "power of two");
        EXPECT_EQ(a, std::vector<double>(len, 0.25));
        EXPECT_EQ(table, std::vector<double>(len, 0.5));
        EXPECT_EQ(index, std::vector<int>(2, 0));
    }
    for (int direction : {1, 0, -2}) {
        WorkAreas work(64);
        std::vector<double> a(64, 0.25);
        EXPECT_DEBUG_DEATH(
            real_transform(64, direction, a.data(), work.index.data(), work.table.data()),
            "direction");
        EXPECT_EQ(a, std::vector<double>(64, 0.25));
        EXPECT_EQ(work.index[0], 0);
    }
    WorkAreas work(64);
    EXPECT_DEBUG_DEATH(real_transform(64, -1, nullptr, work.index.data(), work.table.data()),
                       "null");
    EXPECT_EQ(work.index[0], 0);

    // An entry 0 that no build can have left is not trusted as a table size.
    for (int garbage : {-1, 12345}) {
        WorkAreas uncleared(64);
        uncleared.index[0] = garbage;
        std::vector<double> input = test_inputs(64)[0];
        std::vector<double> a = input;
        real_transform(64, -1, a.data(), uncleared.index.data(), uncleared.table.data());
        EXPECT_EQ(uncleared.index[0], 16);
        EXPECT_LE(relative_error(a, input), 1e-12);
    }
}

} // namespace
