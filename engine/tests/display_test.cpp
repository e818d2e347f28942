#include "engine_test.h"

#include <cstdint>
#include <random>

namespace {

struct Display : EngineTest {};

// The ends of the three colour ramps, stored blue, green, red, 0 behind the 40-byte header;
// the planes follow the table.
TEST_F(Display, ColourTableHoldsTheRampEndsAndThePlanesFollowIt) {
    const std::pair<int, int> entries[] = {{0, 0},         {15, 0xc0c0c0}, {16, 0x000f00},
                                           {31, 0x00ff00}, {32, 0x0fff00}, {40, 0x8fff00},
                                           {47, 0xffff00}, {48, 0xffef00}, {62, 0xff0f00},
                                           {63, 0xff0000}}; // index, red green blue
    for (const auto &[index, colour] : entries) {
        const unsigned char *c = display_block() + 40 + 4 * index;
        EXPECT_EQ(c[3] << 24 | c[2] << 16 | c[1] << 8 | c[0], colour) << index;
    }
    EXPECT_EQ(plane(0), display_block() + 296);
    EXPECT_EQ(plane(3), display_block() + kDisplayBlockBytes);
}

// The spectrum plane and the lower plane the view chooses, each upside down; the strip rows
// and a spare pixel a row untouched; indices of 64 and up black.
TEST_F(Display, ComposesTheSpectrumAndTheChosenLowerPlaneUpsideDown) {
    std::mt19937 random(3);
    std::generate(plane(0), plane(3), [&] { return static_cast<unsigned char>(random()); });
    for (unsigned flags : {kScopeMode, kNoteMode}) {
        std::vector<std::uint32_t> picture(353 * kPictureHeight, 7), want(picture);
        compose_picture(picture.data(), 353, flags);
        for (int y = 0; y < kPictureHeight; ++y) {
            const unsigned char *src =
                y < 80 ? plane(0) + (79 - y) * kPlaneWidth
                       : plane(flags & kScopeMode ? 1 : 2) + (171 - y) * kPlaneWidth;
            for (int x = 0; x < kPlaneWidth && (y < 80 || y >= 92); ++x)
                want[y * 353 + x] = 0xff000000u | (src[x] < 64 ? rgb(palette_colour(src[x])) : 0);
        }
        const auto differs = std::mismatch(picture.begin(), picture.end(), want.begin()).first;
        EXPECT_EQ(differs - picture.begin(), 353 * kPictureHeight)
            << "first wrong pixel, " << flags;
    }
}

// A window that lost its display block composes nothing into its picture (nor into none) and
// a frame draws nothing, rather than writing through a null plane pointer.
TEST_F(Display, WithoutABlockNothingIsComposedOrDrawn) {
    free_display_block();
    std::vector<std::uint32_t> picture(kPictureWidth * kPictureHeight, 7);
    compose_picture(picture.data(), kPictureWidth, kScopeMode);
    EXPECT_EQ(picture, std::vector<std::uint32_t>(picture.size(), 7));
    compose_picture(nullptr, kPictureWidth, 0);
    render_frame(kNoteMode);
}

} // namespace
