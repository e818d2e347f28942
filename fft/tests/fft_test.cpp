#include "fft/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
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
// result. Both are exactly as large as the size helpers say n points need, so the sanitizers
// see any access beyond them.
struct Work {
    Work(int n, int entry0)
        : index(work_index_entries(n), 1 << 30), table(work_table_entries(n), NAN) {
        index[0] = entry0;
    }
    Values run(Values a) {
        real_transform(static_cast<int>(a.size()), -1, a.data(), index.data(), table.data());
        return a;
    }
    std::vector<int> index;
    Values table;
};

// Every size from 4 to 8192 against the direct sum, with work areas built once for 8192 (only
// read at smaller sizes; a second call repeats the first exactly), with ones that grow with
// each larger size, starting from an entry 0 that no build can have left: not trusted, and
// with each size's own.
TEST(Transform, MatchesDirectSumWithSharedAndGrowingWorkAreas) {
    Work shared(8192, 0), growing(8192, 12345);
    const Values x = random_values(8192, 1), first = shared.run(x), built = shared.table;
    EXPECT_EQ(shared.run(x), first);
    for (int n = 4; n <= 8192; n *= 2) {
        const char *const kinds[] = {"noise", "impulse", "constant", "alternating", "sine"};
        for (int kind = 0; kind < 5; ++kind) {
            SCOPED_TRACE(std::to_string(n) + " points, " + kinds[kind]);
            Values in = random_values(n, n);
            for (int j = 0; j < n && kind; ++j) {
                const double v[] = {0, !j ? 1.0 : 0.0, 1, 1.0 - j % 2 * 2, std::sin(j * 0.7753)};
                in[j] = v[kind];
            }
            const Exact want = direct_sine_transform(in);
            EXPECT_LE(error(shared.run(in), want), 1e-12);
            EXPECT_LE(error(growing.run(in), want), 1e-12);
            EXPECT_LE(error(Work(n, 0).run(in), want), 1e-12);
        }
    }
    EXPECT_EQ(shared.index[0], 2048);
    EXPECT_EQ(shared.index[1], 8192);
    // Byte comparison, so that the entries never written (NaN) compare equal too.
    EXPECT_EQ(0, std::memcmp(built.data(), shared.table.data(), built.size() * sizeof(double)));
}

// A call the transform cannot serve stops a debug build and, in a release build, returns
// without reading or writing any array (exactly sized arrays let the sanitizers see a stray
// access).
TEST(Transform, BadCallsTouchNothing) {
    struct BadCall {
        int n, direction;
        bool null;
        const char *why;
    };
    const BadCall calls[] = {{-8, -1, false, "power of two"},  {0, -1, false, "power of two"},
                             {2, -1, false, "power of two"},   {6, -1, false, "power of two"},
                             {100, -1, false, "power of two"}, {64, 1, false, "direction"},
                             {64, 0, false, "direction"},      {64, -1, true, "null"}};
    for (const BadCall &call : calls) {
        SCOPED_TRACE(std::to_string(call.n) + " points, direction " +
                     std::to_string(call.direction));
        const int len = std::max(call.n, 1);
        Values a(len, 0.25), table(len, 0.5);
        std::vector<int> index(2, 0);
        EXPECT_DEBUG_DEATH(real_transform(call.n, call.direction, call.null ? nullptr : a.data(),
                                          index.data(), table.data()),
                           call.why);
        EXPECT_EQ(a, Values(len, 0.25));
        EXPECT_EQ(table, Values(len, 0.5));
        EXPECT_EQ(index, std::vector<int>(2, 0));
    }
}

} // namespace
