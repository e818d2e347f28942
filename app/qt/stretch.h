#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Stretches a picture of 32-bit pixels to another size. Each destination pixel takes the
// source span [d * src / dst, (d + 1) * src / dst) of its column and row, at least one
// pixel wide. Enlarging therefore replicates pixels (every pixel doubled at exactly twice
// the size, nearest neighbour otherwise) and shrinking combines the eliminated pixels with
// a bitwise OR, so thin bright traces on black survive.

// The source span of every destination index along one axis, computed once per size.
struct StretchAxis {
    std::vector<int> first; // first source index of destination d
    std::vector<int> count; // number of source indices combined into d (at least 1)
    bool single = true;     // every count is 1: no pixels combined along this axis
};

// The spans for `dst` destination pixels taken from `src` source pixels (both positive).
StretchAxis stretch_axis(int src, int dst);

// Writes the stretched picture: `dst` receives columns.first.size() x rows.first.size()
// pixels, `dst_stride` pixels between rows, taken from `src` (`src_stride` pixels between
// rows) through the spans of the two axes.
void stretch_or(const std::uint32_t *src, std::ptrdiff_t src_stride, std::uint32_t *dst,
                std::ptrdiff_t dst_stride, const StretchAxis &columns, const StretchAxis &rows);
