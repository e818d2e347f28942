#include "stretch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Pixels = std::vector<std::uint32_t>;

Pixels stretched(const Pixels &src, int width, int height, int toWidth, int toHeight) {
    Pixels out(static_cast<std::size_t>(toWidth * toHeight), 0xdeadbeef);
    stretch_or(src.data(), width, out.data(), toWidth, stretch_axis(width, toWidth),
               stretch_axis(height, toHeight));
    return out;
}

// Doubling is checked on the window's picture; here the uneven factors of free resizing.
TEST(Stretch, EnlargingPicksNearestAndShrinkingCombinesByOr) {
    const Pixels src = {1, 2, 3, 4, 5, 6}; // 3 x 2 made 5 x 1
    EXPECT_EQ(stretched(src, 3, 2, 5, 1), (Pixels{1 | 4, 1 | 4, 2 | 5, 2 | 5, 3 | 6}));
    // A green column (4) and a red row (5) on black, 7 x 7 shrunk to 2 x 2: both thin traces
    // survive though neither is the first of the pixels combined.
    Pixels cross(49, 0xff000000);
    for (std::size_t i = 0; i < 7; ++i) {
        cross[7 * i + 4] |= 0x00ff00;
        cross[7 * 5 + i] |= 0xff0000;
    }
    EXPECT_EQ(stretched(cross, 7, 7, 2, 2),
              (Pixels{0xff000000, 0xff00ff00, 0xffff0000, 0xffffff00}));
}

} // namespace
