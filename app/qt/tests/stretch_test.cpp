#include "stretch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<std::uint32_t> stretched(const std::vector<std::uint32_t> &src, int width, int height,
                                     int toWidth, int toHeight) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(toWidth * toHeight), 0xdeadbeef);
    stretch_or(src.data(), width, out.data(), toWidth, stretch_axis(width, toWidth),
               stretch_axis(height, toHeight));
    return out;
}

TEST(Stretch, IntegerMultiplesReplicateEveryPixel) {
    const std::vector<std::uint32_t> src = {1, 2, 3, 4, 5, 6}; // 3 x 2
    EXPECT_EQ(stretched(src, 3, 2, 3, 2), src);
    const std::vector<std::uint32_t> doubled = {1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3,
                                                4, 4, 5, 5, 6, 6, 4, 4, 5, 5, 6, 6};
    EXPECT_EQ(stretched(src, 3, 2, 6, 4), doubled);
}

TEST(Stretch, FreeEnlargementTakesNearestPixelsPerAxis) {
    const std::vector<std::uint32_t> src = {1, 2, 3}; // 3 x 1
    EXPECT_EQ(stretched(src, 3, 1, 5, 2),
              (std::vector<std::uint32_t>{1, 1, 2, 2, 3, 1, 1, 2, 2, 3}));
}

TEST(Stretch, ShrinkingKeepsThinBrightTracesByOr) {
    // A one-pixel green column and a one-pixel red row on black, shrunk to less than a third.
    const int width = 352, height = 172;
    std::vector<std::uint32_t> src(static_cast<std::size_t>(width * height), 0xff000000);
    for (int y = 0; y < height; ++y) {
        src[static_cast<std::size_t>(y * width + 101)] = 0xff00ff00;
    }
    for (int x = 0; x < width; ++x) {
        src[static_cast<std::size_t>(57 * width + x)] |= 0xffff0000;
    }
    const std::vector<std::uint32_t> out = stretched(src, width, height, 100, 50);
    int greenColumns = 0;
    for (int x = 0; x < 100; ++x) {
        greenColumns += (out[static_cast<std::size_t>(10 * 100 + x)] & 0x00ff00) != 0;
    }
    int redRows = 0;
    for (int y = 0; y < 50; ++y) {
        redRows += (out[static_cast<std::size_t>(y * 100 + 3)] & 0xff0000) != 0;
    }
    EXPECT_EQ(greenColumns, 1);
    EXPECT_EQ(redRows, 1);
    EXPECT_EQ(out[static_cast<std::size_t>(10 * 100 + 101 * 100 / 352)], 0xff00ff00u);
}

} // namespace
