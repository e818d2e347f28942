#include "fft/fft.h"
#include "fft/tests/oracles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace fft_test;

// Runs the transform on a copy of x and returns its largest difference from the direct sum,
// relative to the largest coefficient.
double error_of(const std::vector<double> &x, WorkAreas &work) {
    std::vector<double> a = x;
    real_transform(static_cast<int>(x.size()), -1, a.data(), work.index.data(), work.table.data());
    const std::vector<long double> expected = direct_sine_transform(x);
    long double err = 0, scale = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        err = std::max(err, std::abs(a[k] - expected[k]));
        scale = std::max(scale, std::abs(expected[k]));
    }
    return static_cast<double>(err / scale);
}

// Noise, impulse, constant, alternating and a sine that falls between coefficients.
std::vector<std::vector<double>> inputs(int n) {
    std::vector<double> impulse(n), alternating(n), sine(n);
    for (int j = 0; j < n; ++j) {
        alternating[j] = j % 2 ? -1.0 : 1.0;
        sine[j] = static_cast<double>(std::sin(2 * pi_l * j * 0.1234L));
    }
    impulse[0] = 1.0;
    return {random_values(n, n, 32768.0), impulse, std::vector<double>(n, 1.0), alternating, sine};
}

TEST(Transform, MatchesDirectSumAtEverySize) {
    for (int n = 4; n <= 8192; n *= 2) {
        for (const std::vector<double> &x : inputs(n)) {
            WorkAreas work(n);
            EXPECT_LE(error_of(x, work), 1e-12) << "n " << n << ", input " << x[1];
        }
    }
    WorkAreas work(2048);
    std::vector<double> ones(2048, 1.0), zeros(2048, 0.0);
    real_transform(2048, -1, ones.data(), work.index.data(), work.table.data());
    EXPECT_NEAR(ones[1], 1303.797, 5e-4); // 1 / sin(pi / 4096)
    real_transform(2048, -1, zeros.data(), work.index.data(), work.table.data());
    EXPECT_EQ(zeros, std::vector<double>(2048, 0.0));
}

// The first call builds the work areas whatever entry 1 held; later calls of that size or
// smaller only read them and repeat their results exactly. A larger size rebuilds them.
TEST(Transform, WorkAreasAreBuiltOnceAndReused) {
    WorkAreas work(8192);
    const std::vector<double> x = random_values(8192, 1, 32768.0);
    std::vector<double> first = x, second = x;
    real_transform(8192, -1, first.data(), work.index.data(), work.table.data());
    const std::vector<double> built = work.table;
    real_transform(8192, -1, second.data(), work.index.data(), work.table.data());
    EXPECT_EQ(second, first);
    for (int n : {2048, 512, 16, 4}) {
        for (const std::vector<double> &small : inputs(n)) {
            EXPECT_LE(error_of(small, work), 1e-12) << n;
        }
    }
    EXPECT_EQ(work.index[0], 2048);
    EXPECT_EQ(work.index[1], 8192);
    // Byte comparison, so that the entries never written (NaN) compare equal too.
    EXPECT_EQ(0, std::memcmp(built.data(), work.table.data(), built.size() * sizeof(double)));

    WorkAreas grown(8192);
    EXPECT_LE(error_of(std::vector<double>(16, 1.0), grown), 1e-12);
    EXPECT_LE(error_of(x, grown), 1e-12);
    EXPECT_EQ(grown.index[0], 2048);
    EXPECT_EQ(grown.index[1], 8192);
}

// A call the transform cannot serve stops a debug build and, in a release build, returns
// without reading or writing any array (exactly sized arrays let the sanitizers see a stray
// access). An entry 0 that no build can have left is not trusted as a table size.
TEST(Transform, BadCallsTouchNothing) {
    struct Call {
        int n, direction;
        const char *message;
    };
    for (Call call :
         {Call{-8, -1, "power of two"}, Call{0, -1, "power of two"}, Call{2, -1, "power of two"},
          Call{6, -1, "power of two"}, Call{100, -1, "power of two"}, Call{64, 1, "direction"},
          Call{64, 0, "direction"}}) {
        SCOPED_TRACE(testing::Message() << call.n << " " << call.direction);
        const int len = std::max(call.n, 1);
        std::vector<double> a(len, 0.25), table(len, 0.5);
        std::vector<int> index(2, 0);
        EXPECT_DEBUG_DEATH(
            real_transform(call.n, call.direction, a.data(), index.data(), table.data()),
            call.message);
        EXPECT_EQ(a, std::vector<double>(len, 0.25));
        EXPECT_EQ(table, std::vector<double>(len, 0.5));
        EXPECT_EQ(index, std::vector<int>(2, 0));
    }
    WorkAreas work(64);
    EXPECT_DEBUG_DEATH(real_transform(64, -1, nullptr, work.index.data(), work.table.data()),
                       "null");
    EXPECT_EQ(work.index[0], 0);
    for (int garbage : {-1, 12345}) {
        work.index[0] = garbage;
        EXPECT_LE(error_of(random_values(64, 2), work), 1e-12);
        EXPECT_EQ(work.index[0], 16);
    }
}

} // namespace
