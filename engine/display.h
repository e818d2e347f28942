#pragma once

#include <cstddef>
#include <cstdint>

// The display block: one zero-filled allocation holding a device-independent bitmap header,
// the 64-entry colour table and three planes of 352 x 80 one-byte colour indices.
// Plane rows are stored bottom-up: row 0 (the first 352 bytes) is the lowest row on screen.

constexpr int kPlaneWidth = 352;
constexpr int kPlaneRows = 80;
constexpr int kPlaneBytes = kPlaneWidth * kPlaneRows; // 28160
constexpr int kPaletteSize = 64;
constexpr std::size_t kBitmapHeaderBytes = 40;
constexpr std::size_t kColourTableBytes = 4 * kPaletteSize;
constexpr std::size_t kDisplayBlockBytes =
    kBitmapHeaderBytes + kColourTableBytes + 3 * kPlaneBytes; // 84776

enum : int { kSpectrumPlane = 0, kScopePlane = 1, kSpectrogramPlane = 2 };

// The picture shown in the window: spectrum plane, scale strip, scope or spectrogram plane.
constexpr int kPictureWidth = 352;
constexpr int kPictureHeight = 172;
constexpr int kStripTop = 80;
constexpr int kStripRows = 12;
constexpr int kLowerPaneTop = 92;

// View flags: bit 0 note mode, bit 1 scope mode.
constexpr unsigned kNoteMode = 1u;
constexpr unsigned kScopeMode = 2u;

// Same byte layout as the platform's BITMAPINFOHEADER.
struct BitmapInfoHeader {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bit_count;
    std::uint32_t compression;
    std::uint32_t size_image;
    std::int32_t x_pels_per_meter;
    std::int32_t y_pels_per_meter;
    std::uint32_t clr_used;
    std::uint32_t clr_important;
};
static_assert(sizeof(BitmapInfoHeader) == kBitmapHeaderBytes, "bitmap header must be 40 bytes");

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// Colour index 0..63 as red, green, blue (the data a palette is built from).
Rgb palette_colour(int index);

// Allocates the display block zero-filled and fills its header and colour table.
// Returns false, with no block held, when the allocation fails. Calling it again while a
// block is held keeps the existing block and returns true.
bool create_display_block();
// Frees the block; harmless when none is held.
void free_display_block();
// The header's first byte (header and colour table together form the bitmap description),
// or nullptr when no block is held.
unsigned char *display_block();
// Plane 0's first byte; plane p begins kPlaneBytes * p bytes after it. nullptr when absent.
unsigned char *display_planes();

// Composition for shells without a device-independent-bitmap copy: writes the spectrum
// plane to picture rows 0..79 and the scope plane (view_flags & kScopeMode) or the
// spectrogram plane to rows 92..171, as 0xffRRGGBB pixels, each plane flipped so that its
// row r lands on picture row 79 - r of its pane. Rows 80..91 (the scale strip) are left
// untouched. `pixels` points at picture row 0; `stride` is the distance between rows in
// pixels. Does nothing when no display block is held.
void compose_picture(std::uint32_t *pixels, std::ptrdiff_t stride, unsigned view_flags);
