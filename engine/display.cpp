#include "engine/display.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {

// The display block while it exists: header, colour table, then the three planes.
unsigned char *g_block = nullptr;

constexpr std::size_t kPlanesOffset = kBitmapHeaderBytes + kColourTableBytes; // 296

// Index 0..63 as 0xffRRGGBB; indices a plane should never hold show black.
struct PixelTable {
    std::uint32_t pixel[256];
};

PixelTable make_pixel_table() {
    PixelTable table{};
    for (int i = 0; i < 256; ++i) {
        Rgb c = i < kPaletteSize ? palette_colour(i) : Rgb{0, 0, 0};
        table.pixel[i] = 0xff000000u | (std::uint32_t{c.red} << 16) |
                         (std::uint32_t{c.green} << 8) | std::uint32_t{c.blue};
    }
    return table;
}

// Writes one plane upside down into an 80-row pane of the picture: plane row r goes to pane
// row 79 - r, because planes are stored bottom-up and the picture top-down.
void compose_pane(const unsigned char *plane, std::uint32_t *pane, std::ptrdiff_t stride,
                  const PixelTable &table) {
    for (int r = 0; r < kPlaneRows; ++r) {
        const unsigned char *src = plane + r * kPlaneWidth;
        std::uint32_t *dst = pane + (kPlaneRows - 1 - r) * stride;
        for (int x = 0; x < kPlaneWidth; ++x)
            dst[x] = table.pixel[src[x]];
    }
}

} // namespace

Rgb palette_colour(int index) {
    assert(index >= 0 && index < kPaletteSize && "colour index out of range");
    static const Rgb basic[16] = {
        {0, 0, 0},     {0, 0, 255},     {255, 0, 0},   {255, 0, 255},   {0, 255, 0}, {0, 255, 255},
        {255, 255, 0}, {255, 255, 255}, {64, 64, 64},  {0, 0, 128},     {128, 0, 0}, {128, 0, 128},
        {0, 128, 0},   {0, 128, 128},   {128, 128, 0}, {192, 192, 192},
    };
    if (index < 0 || index >= kPaletteSize)
        return Rgb{0, 0, 0};
    if (index < 16)
        return basic[index];
    // Three ramps of sixteen steps: black-green to green, green to yellow, yellow to red.
    if (index < 32)
        return Rgb{0, static_cast<std::uint8_t>(16 * (index - 15) - 1), 0};
    if (index < 48)
        return Rgb{static_cast<std::uint8_t>(16 * (index - 31) - 1), 255, 0};
    if (index < 63)
        return Rgb{255, static_cast<std::uint8_t>(255 - 16 * (index - 47)), 0};
    return Rgb{255, 0, 0}; // the ramp would run one step past zero here
}

bool create_display_block() {
    if (g_block)
        return true;
    auto *block = static_cast<unsigned char *>(std::calloc(1, kDisplayBlockBytes));
    if (!block)
        return false;

    BitmapInfoHeader header{};
    header.size = kBitmapHeaderBytes;
    header.width = kPlaneWidth;
    header.height = kPlaneRows; // positive: rows bottom-up
    header.planes = 1;
    header.bit_count = 8;
    header.compression = 0; // uncompressed
    header.size_image = kPlaneBytes;
    header.clr_used = kPaletteSize;
    header.clr_important = kPaletteSize;
    std::memcpy(block, &header, sizeof header);

    // The colour table stores each entry as blue, green, red, 0.
    unsigned char *colours = block + kBitmapHeaderBytes;
    for (int i = 0; i < kPaletteSize; ++i) {
        Rgb c = palette_colour(i);
        colours[4 * i + 0] = c.blue;
        colours[4 * i + 1] = c.green;
        colours[4 * i + 2] = c.red;
        colours[4 * i + 3] = 0;
    }
    g_block = block;
    return true;
}

void free_display_block() {
    std::free(g_block);
    g_block = nullptr;
}

unsigned char *display_block() { return g_block; }

unsigned char *display_planes() { return g_block ? g_block + kPlanesOffset : nullptr; }

void compose_picture(std::uint32_t *pixels, std::ptrdiff_t stride, unsigned view_flags) {
    if (!g_block)
        return;
    assert(pixels && stride >= kPictureWidth && "picture too small");
    static const PixelTable table = make_pixel_table();
    const unsigned char *planes = display_planes();
    const int lower = (view_flags & kScopeMode) ? kScopePlane : kSpectrogramPlane;
    compose_pane(planes + kSpectrumPlane * kPlaneBytes, pixels, stride, table);
    compose_pane(planes + lower * kPlaneBytes, pixels + kLowerPaneTop * stride, stride, table);
}
