#pragma once

// Independent references for the transform tests: direct sums in long double, and the
// bit reversal written plainly.

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace fft_test {

using cplx = std::complex<long double>;

const long double pi_l = 3.141592653589793238462643383279502884L;
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

// The index i with its lowest `bits` bits in reverse order.
inline int reverse_bits(int i, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) {
        r = (r << 1) | ((i >> b) & 1);
    }
    return r;
}

inline int log2_of(int n) {
    int bits = 0;
    while ((1 << bits) < n) {
        ++bits;
    }
    return bits;
}

// Z[k] = sum_j z[j] e^(-2 pi i jk / M) for the M complex values held in a (interleaved).
inline std::vector<cplx> direct_dft(const std::vector<double> &a) {
    const int m = static_cast<int>(a.size() / 2);
    std::vector<cplx> root(m);
    for (int i = 0; i < m; ++i) {
        root[i] = std::polar(1.0L, -2 * pi_l * i / m);
    }
    std::vector<cplx> out(m);
    for (int k = 0; k < m; ++k) {
        cplx sum = 0;
        for (int j = 0; j < m; ++j) {
            sum += cplx(a[2 * j], a[2 * j + 1]) * root[(static_cast<long>(j) * k) % m];
        }
        out[k] = sum;
    }
    return out;
}

// S[k] = sum_j x[j] sin(pi (2j + 1) k / (2n)) for k = 1..n, stored as the transform leaves
// it: out[k] = S[k] for k < n and out[0] = S[n].
inline std::vector<long double> direct_sine_transform(const std::vector<double> &x) {
    const int n = static_cast<int>(x.size());
    std::vector<long double> sine(4 * n);
    for (int i = 0; i < 4 * n; ++i) {
        sine[i] = std::sin(pi_l * i / (2 * n));
    }
    std::vector<long double> out(n);
    for (int k = 1; k <= n; ++k) {
        long double sum = 0;
        for (int j = 0; j < n; ++j) {
            sum += x[j] * sine[((2L * j + 1) * k) % (4 * n)];
        }
        out[k % n] = sum;
    }
    return out;
}

// Work areas as the program keeps them for one size, the table filled with NaN so that
// reading an entry no build has written spoils the result.
struct WorkAreas {
    explicit WorkAreas(int n) : index(66, -12345), table(5 * n / 4, not_a_number) { index[0] = 0; }
    std::vector<int> index;
    std::vector<double> table;
};

} // namespace fft_test
