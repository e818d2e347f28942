#include "picture_view.h"
#include "stretch.h"

#include "engine/display.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSize>

#include <algorithm>
#include <cstdint>
#include <random>
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

// The painted view at many sizes against the stretch of the whole picture at once, the
// picture being random colours everywhere so that any pixel taken from the wrong source
// pixel, or any OR over the wrong span, shows.
TEST(PictureView, EveryPaintedPixelIsTheWholePictureStretched) {
    ASSERT_TRUE(create_display_block());
    std::mt19937 random(12);
    std::generate(display_planes(), display_planes() + 3 * kPlaneBytes,
                  [&] { return static_cast<unsigned char>(random() % 64); });
    QImage picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    for (int y = 0; y < kPictureHeight; ++y) // the strip rows too
        for (int x = 0; x < kPictureWidth; ++x)
            picture.setPixel(x, y, 0xff000000u | (random() & 0xffffffu));
    PictureView view(picture);
    // 1x and 2x, off by one either way, odd and uneven factors, mixed (one axis grows while
    // the other shrinks), thin slivers, and large windows; the last returns to 1x.
    const std::vector<QSize> sizes = {
        {352, 172},   {704, 344},   {353, 173},   {351, 171},   {1056, 516}, {1057, 517},
        {705, 343},   {1237, 419},  {500, 100},   {100, 500},   {352, 1000}, {2000, 172},
        {1, 1},       {1, 900},     {900, 1},     {176, 86},    {117, 57},   {351, 344},
        {1920, 1080}, {3840, 2160}, {4001, 2999}, {2000, 1500}, {352, 172},
    };
    for (const QSize &size : sizes) {
        view.resize(size + QSize(4, 4)); // the 2-pixel edge on every side
        const QImage shown = view.grab()
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32)
                                 .copy(2, 2, size.width(), size.height());
        // The picture as the paint composed it, stretched in one piece.
        QImage expected(size, QImage::Format_RGB32);
        stretch_or(reinterpret_cast<const std::uint32_t *>(picture.constBits()),
                   picture.bytesPerLine() / 4, reinterpret_cast<std::uint32_t *>(expected.bits()),
                   expected.bytesPerLine() / 4, stretch_axis(kPictureWidth, size.width()),
                   stretch_axis(kPictureHeight, size.height()));
        ASSERT_EQ(shown.size(), size);
        const int pixels = size.width() * size.height();
        const auto *got = reinterpret_cast<const std::uint32_t *>(shown.constBits()),
                   *want = reinterpret_cast<const std::uint32_t *>(expected.constBits());
        EXPECT_EQ(std::mismatch(got, got + pixels, want).first - got, pixels)
            << "first wrong pixel, at " << size.width() << " x " << size.height();
    }
    free_display_block();
}

} // namespace
