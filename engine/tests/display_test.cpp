#include "engine/display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class Display : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(create_display_block()); }
    void TearDown() override { free_display_block(); }

    static unsigned char *plane(int p) { return display_planes() + p * kPlaneBytes; }
};

std::uint32_t pixel_of(int index) {
    Rgb c = palette_colour(index);
    return 0xff000000u | (c.red << 16) | (c.green << 8) | c.blue;
}

TEST_F(Display, BlockHoldsHeaderColourTableAndThreePlanes) {
    unsigned char *block = display_block();
    ASSERT_NE(block, nullptr);

    BitmapInfoHeader header;
    std::memcpy(&header, block, sizeof header);
    EXPECT_EQ(header.size, 40u);
    EXPECT_EQ(header.width, 352);
    EXPECT_EQ(header.height, 80);
    EXPECT_EQ(header.planes, 1);
    EXPECT_EQ(header.bit_count, 8);
    EXPECT_EQ(header.compression, 0u);
    EXPECT_EQ(header.size_image, 28160u);
    EXPECT_EQ(header.x_pels_per_meter, 0);
    EXPECT_EQ(header.y_pels_per_meter, 0);
    EXPECT_EQ(header.clr_used, 64u);
    EXPECT_EQ(header.clr_important, 64u);

    // Colour entries are stored blue, green, red, 0.
    const unsigned char *colours = block + 40;
    const unsigned char entry40[4] = {0, 255, 143, 0};
    EXPECT_EQ(std::memcmp(colours + 4 * 40, entry40, 4), 0);
    for (int i = 0; i < kPaletteSize; ++i) {
        Rgb c = palette_colour(i);
        EXPECT_EQ(colours[4 * i], c.blue) << i;
        EXPECT_EQ(colours[4 * i + 1], c.green) << i;
        EXPECT_EQ(colours[4 * i + 2], c.red) << i;
        EXPECT_EQ(colours[4 * i + 3], 0) << i;
    }

    // Plane 0 right behind the colour table; plane 2 ends with the block.
    EXPECT_EQ(display_planes(), block + 296);
    EXPECT_EQ(plane(kSpectrogramPlane), block + 56616);
    EXPECT_EQ(plane(kSpectrogramPlane) + kPlaneBytes, block + kDisplayBlockBytes);
    std::vector<unsigned char> zeros(3 * kPlaneBytes, 0);
    EXPECT_EQ(std::memcmp(display_planes(), zeros.data(), zeros.size()), 0);

    // A second create keeps the block; free twice is harmless.
    EXPECT_TRUE(create_display_block());
    EXPECT_EQ(display_block(), block);
    free_display_block();
    EXPECT_EQ(display_block(), nullptr);
    EXPECT_EQ(display_planes(), nullptr);
    free_display_block();
}

TEST(Palette, FixedColoursAndRampEnds) {
    struct Expected {
        int index;
        int red, green, blue;
    };
    const Expected expected[] = {
        {0, 0, 0, 0},        {1, 0, 0, 255},    {2, 255, 0, 0},    {4, 0, 255, 0},
        {7, 255, 255, 255},  {8, 64, 64, 64},   {9, 0, 0, 128},    {14, 128, 128, 0},
        {15, 192, 192, 192}, {16, 0, 15, 0},    {31, 0, 255, 0},   {32, 15, 255, 0},
        {40, 143, 255, 0},   {47, 255, 255, 0}, {48, 255, 239, 0}, {62, 255, 15, 0},
        {63, 255, 0, 0},
    };
    for (const Expected &e : expected) {
        Rgb c = palette_colour(e.index);
        EXPECT_EQ(c.red, e.red) << e.index;
        EXPECT_EQ(c.green, e.green) << e.index;
        EXPECT_EQ(c.blue, e.blue) << e.index;
    }
    // The ramps rise (or fall) by 16 per step without wrapping.
    for (int i = 17; i < 32; ++i)
        EXPECT_EQ(palette_colour(i).green - palette_colour(i - 1).green, 16) << i;
    for (int i = 49; i < 63; ++i)
        EXPECT_EQ(palette_colour(i - 1).green - palette_colour(i).green, 16) << i;
}

TEST_F(Display, CompositionFlipsPlanesAndLeavesStripAlone) {
    // Mark each plane row with a colour of its own: plane p row r holds 16 + (r + p) % 48.
    for (int p = 0; p < 3; ++p)
        for (int r = 0; r < kPlaneRows; ++r)
            std::memset(plane(p) + r * kPlaneWidth, 16 + (r + p) % 48, kPlaneWidth);
    plane(kSpectrumPlane)[5] = 7; // row 0, column 5: white

    const std::ptrdiff_t stride = kPictureWidth + 8; // padding after each row stays untouched
    const std::uint32_t sentinel = 0x12345678u;
    for (unsigned flags : {0u, 1u, 2u, 3u}) {
        std::vector<std::uint32_t> picture(stride * kPictureHeight, sentinel);
        compose_picture(picture.data(), stride, flags);
        const int lower = (flags & kScopeMode) ? kScopePlane : kSpectrogramPlane;
        auto at = [&](int row, int x) { return picture[row * stride + x]; };

        EXPECT_EQ(at(0, 0), pixel_of(16 + 79 % 48)) << flags; // top shows plane row 79
        EXPECT_EQ(at(79, 0), pixel_of(16));                   // bottom shows plane row 0
        EXPECT_EQ(at(79, 5), 0xffffffffu);
        EXPECT_EQ(at(92, 0), pixel_of(16 + (79 + lower) % 48)) << flags;
        EXPECT_EQ(at(171, 351), pixel_of(16 + lower)) << flags;
        for (int row = 0; row < kPictureHeight; ++row) {
            for (int x = kPictureWidth; x < stride; ++x)
                ASSERT_EQ(at(row, x), sentinel) << row;
            if (row >= kStripTop && row < kLowerPaneTop) {
                for (int x = 0; x < kPictureWidth; ++x)
                    ASSERT_EQ(at(row, x), sentinel) << row;
            }
        }
    }
}

TEST(Composition, WithoutBlockWritesNothing) {
    free_display_block();
    std::vector<std::uint32_t> picture(kPictureWidth * kPictureHeight, 7u);
    compose_picture(picture.data(), kPictureWidth, kScopeMode);
    for (std::uint32_t p : picture)
        ASSERT_EQ(p, 7u);
}

} // namespace
