#include "engine/display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(Display, BlockLayoutHeaderAndColours) {
    ASSERT_TRUE(create_display_block());
    unsigned char *block = display_block();
    BitmapInfoHeader hd;
    std::memcpy(&hd, block, sizeof hd);
    const std::vector<long long> fields = {
        hd.size,        hd.width,      hd.height,   hd.planes,        hd.bit_count,
        hd.compression, hd.size_image, hd.clr_used, hd.clr_important, hd.x_pels_per_meter};
    EXPECT_EQ(fields, (std::vector<long long>{40, 352, 80, 1, 8, 0, 28160, 64, 64, 0}));
    // Stored blue, green, red, 0: entry 40 is (143, 255, 0), 63 pure red, 16 (0, 15, 0).
    const unsigned char expected[][4] = {{0, 255, 143, 0}, {0, 0, 255, 0}, {0, 15, 0, 0}};
    EXPECT_EQ(std::memcmp(block + 40 + 4 * 40, expected[0], 4), 0);
    EXPECT_EQ(std::memcmp(block + 40 + 4 * 63, expected[1], 4), 0);
    EXPECT_EQ(std::memcmp(block + 40 + 4 * 16, expected[2], 4), 0);
    EXPECT_EQ(palette_colour(62).green, 15);
    EXPECT_EQ(palette_colour(32).red, 15);
    EXPECT_EQ(display_planes(), block + 296);
    EXPECT_EQ(display_planes() + 3 * kPlaneBytes, block + kDisplayBlockBytes);
    free_display_block();
    EXPECT_EQ(display_planes(), nullptr);
}

TEST(Display, CompositionFlipsPlanesAndSparesTheStrip) {
    ASSERT_TRUE(create_display_block());
    for (int p = 0; p < 3; ++p) // plane p, row r holds colour 16 + r + p
        for (int r = 0; r < kPlaneRows; ++r)
            std::memset(display_planes() + p * kPlaneBytes + r * kPlaneWidth, 16 + r % 45 + p,
                        kPlaneWidth);
    auto pixel = [](int index) {
        const Rgb c = palette_colour(index);
        return 0xff000000u | c.red << 16 | c.green << 8 | c.blue;
    };
    display_planes()[kPlaneBytes - 1] = 200; // no such colour: shown black
    const std::ptrdiff_t stride = kPictureWidth + 4;
    for (unsigned flags : {kScopeMode, kNoteMode}) {
        std::vector<std::uint32_t> pic(stride * kPictureHeight, 7);
        compose_picture(pic.data(), stride, flags);
        const int lower = flags & kScopeMode ? 1 : 2;
        EXPECT_EQ(pic[0], pixel(16 + 79 % 45));       // top: spectrum row 79
        EXPECT_EQ(pic[79 * stride + 351], pixel(16)); // spectrum row 0
        EXPECT_EQ(pic[351], 0xff000000u);
        EXPECT_EQ(pic[92 * stride], pixel(16 + 79 % 45 + lower));
        EXPECT_EQ(pic[171 * stride], pixel(16 + lower));
        for (int i = 80 * stride; i < 92 * stride; ++i)
            ASSERT_EQ(pic[i], 7u);
        EXPECT_EQ(pic[stride - 1], 7u); // padding beyond the width
    }
    free_display_block();
    std::vector<std::uint32_t> pic(kPictureWidth * kPictureHeight, 7);
    compose_picture(pic.data(), kPictureWidth, 0); // no block: nothing written
    EXPECT_EQ(pic, std::vector<std::uint32_t>(pic.size(), 7));
}

} // namespace
