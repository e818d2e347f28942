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

TEST(Stretch, EnlargingReplicatesAndShrinkingCombinesPerAxis) {
    const Pixels src = {1, 2, 3, 4, 5, 6}; // 3 x 2
    EXPECT_EQ(stretched(src, 3, 2, 3, 2), src);
    EXPECT_EQ(stretched(src, 3, 2, 6, 4),
              (Pixels{1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 4, 4, 5, 5, 6, 6}));
    // Wider by 5/3, nearest neighbour; half as high, the two rows combined by OR.
    EXPECT_EQ(stretched(src, 3, 2, 5, 1), (Pixels{1 | 4, 1 | 4, 2 | 5, 2 | 5, 3 | 6}));
}

TEST(Stretch, ShrinkingKeepsThinBrightTracesByOr) {
    // A one-pixel green column and a one-pixel red row on black, shrunk below a third.
    const int width = 352, height = 172;
    Pixels src(static_cast<std::size_t>(width * height), 0xff000000);
    for (int i = 0; i < width * height; ++i) {
        src[static_cast<std::size_t>(i)] |=
            (i % width == 101 ? 0x00ff00 : 0) | (i / width == 57 ? 0xff0000 : 0);
    }
    const Pixels out = stretched(src, width, height, 100, 50);
    int green = 0, red = 0;
    for (int i = 0; i < 100; ++i) {
        green += (out[static_cast<std::size_t>(10 * 100 + i)] & 0x00ff00) != 0;
    }
    for (int i = 0; i < 50; ++i) {
        red += (out[static_cast<std::size_t>(i * 100 + 3)] & 0xff0000) != 0;
    }
    EXPECT_EQ(green, 1);
    EXPECT_EQ(red, 1);
}

} // namespace
