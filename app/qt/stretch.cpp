#include "stretch.h"

#include <cassert>
#include <cstring>

StretchAxis stretch_axis(int src, int dst) {
    assert(src > 0 && dst > 0 && "stretch sizes must be positive");
    StretchAxis axis;
    axis.first.resize(static_cast<std::size_t>(dst));
    axis.count.resize(static_cast<std::size_t>(dst));
    for (int d = 0; d < dst; ++d) {
        const long long begin = static_cast<long long>(d) * src / dst;
        const long long end = static_cast<long long>(d + 1) * src / dst;
        axis.first[static_cast<std::size_t>(d)] = static_cast<int>(begin);
        axis.count[static_cast<std::size_t>(d)] = end > begin ? static_cast<int>(end - begin) : 1;
        axis.single = axis.single && axis.count[static_cast<std::size_t>(d)] == 1;
    }
    return axis;
}

void stretch_or(const std::uint32_t *src, std::ptrdiff_t src_stride, std::uint32_t *dst,
                std::ptrdiff_t dst_stride, const StretchAxis &columns, const StretchAxis &rows) {
    const std::size_t width = columns.first.size();
    const std::size_t height = rows.first.size();
    for (std::size_t y = 0; y < height; ++y) {
        std::uint32_t *out = dst + static_cast<std::ptrdiff_t>(y) * dst_stride;
        const std::uint32_t *band = src + rows.first[y] * src_stride;
        const int band_rows = rows.count[y];
        // A source row enlarged into several: the previous output row as it is.
        if (y > 0 && band_rows == 1 && rows.count[y - 1] == 1 &&
            rows.first[y] == rows.first[y - 1]) {
            std::memcpy(out, out - dst_stride, width * sizeof(std::uint32_t));
            continue;
        }
        // Nothing combined in this row: a plain pick per pixel.
        if (band_rows == 1 && columns.single) {
            for (std::size_t x = 0; x < width; ++x) {
                out[x] = band[columns.first[x]];
            }
            continue;
        }
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t *cell = band + columns.first[x];
            const int cell_columns = columns.count[x];
            std::uint32_t value = 0;
            for (int r = 0; r < band_rows; ++r) {
                for (int c = 0; c < cell_columns; ++c) {
                    value |= cell[r * src_stride + c];
                }
            }
            out[x] = value;
        }
    }
}
