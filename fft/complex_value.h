#pragma once

// Complex values as two-double vectors, for the transform's inner loops. The compiler maps
// them to the target's vector unit where there is one and to scalar code elsewhere, so the
// code runs on any x86. Only the transform's own .cpp files include this header; everything
// in it is file-local to each of them.

#include <cstring>

namespace {

// One complex value {re, im}, or any two doubles that are worked on alike.
typedef double v2d __attribute__((vector_size(16)));

inline v2d load(const double *p) {
    v2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double *p, v2d v) { std::memcpy(p, &v, sizeof v); }

inline v2d swapped(v2d v) { return __builtin_shufflevector(v, v, 1, 0); }

// -i v
inline v2d times_minus_i(v2d v) { return swapped(v) * v2d{1.0, -1.0}; }

// A twiddle pair (c, s) laid out for rotate: {c, c} and {s, -s}.
struct Twiddle {
    Twiddle(double c, double s) : cc{c, c}, ss{s, -s} {}
    v2d cc;
    v2d ss;
};

// v (c - i s)
inline v2d rotate(v2d v, const Twiddle &t) { return t.cc * v + t.ss * swapped(v); }

} // namespace
