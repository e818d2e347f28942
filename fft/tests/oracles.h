#pragma once

// Independent references for the transform tests: direct sums in long double, and the bit
// reversal written plainly.

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

namespace fft_test {

using cplx = std::complex<long double>;

const long double pi_l = 3.141592653589793238462643383279502884L;
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

// i with its lowest `bits` bits in reverse order.
inline int reverse_bits(int i, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) {
        r = (r << 1) | ((i >> b) & 1);
    }
    return r;
}

inline std::vector<double> random_values(int n, unsigned seed, double scale = 1.0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-scale, scale);
    std::vector<double> a(n);
    for (double &v : a) {
        v = dist(gen);
    }
    return a;
}

// Z[k] = sum_j z[j] e^(-2 pi i jk / M) for the M complex values interleaved in a.
inline std::vector<cplx> direct_dft(const std::vector<double> &a) {
    const long m = static_cast<long>(a.size() / 2);
    std::vector<cplx> root(m), out(m);
    for (long i = 0; i < m; ++i) {
        root[i] = std::polar(1.0L, -2 * pi_l * i / m);
    }
    for (long k = 0; k < m; ++k) {
        for (long j = 0; j < m; ++j) {
            out[k] += cplx(a[2 * j], a[2 * j + 1]) * root[j * k % m];
        }
    }
    return out;
}

// S[k] = sum_j x[j] sin(pi (2j + 1) k / (2n)) for k = 1..n, stored as the transform leaves
// it: out[k] = S[k] for k < n and out[0] = S[n].
inline std::vector<long double> direct_sine_transform(const std::vector<double> &x) {
    const long n = static_cast<long>(x.size());
    std::vector<long double> sine(4 * n), out(n);
    for (long i = 0; i < 4 * n; ++i) {
        sine[i] = std::sin(pi_l * i / (2 * n));
    }
    for (long k = 1; k <= n; ++k) {
        for (long j = 0; j < n; ++j) {
            out[k % n] += x[j] * sine[(2 * j + 1) * k % (4 * n)];
        }
    }
    return out;
}

// Work areas as the program keeps them for one size: entry 0 cleared, entry 1 left as
// garbage, the table NaN so that reading an entry no build has written spoils the result.
struct WorkAreas {
    explicit WorkAreas(int n) : index(66, -12345), table(5 * n / 4, not_a_number) { index[0] = 0; }
    std::vector<int> index;
    std::vector<double> table;
};

} // namespace fft_test
