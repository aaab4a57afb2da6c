#pragma once

// The decisions of image conversion that need no graphics library: which path image bytes take,
// whether a packed DIB may be handed to GDI, how large an image may be, and the size of a scaled
// result.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zovrel::ui {

struct ImageSize {
    int width = 0;
    int height = 0;
    bool operator==(const ImageSize&) const = default;
};

// The largest image, source or result, turned into a bitmap: 64 megapixels (8192 × 8192), about
// 256 MB at 32 bits. A few bytes of PNG can announce far more than that.
inline constexpr int64_t kMaxImagePixels = int64_t{8192} * 8192;

// Both sides at least 1 and the area within kMaxImagePixels.
bool IsWithinPixelLimit(int64_t width, int64_t height);

// The file name's extension, lower-cased, with its dot (".png"); empty when the last path
// component has no dot or ends with one. Blanks around the name are ignored.
std::wstring ImageExtension(std::wstring_view fileName);
// ".dib" bytes are a packed DIB (header, colour table, pixels); everything else is decoded.
bool IsPackedDibName(std::wstring_view fileName);

// Scaled to fit inside the box, never enlarged; each side at least 1. None when a side of the
// image or the box is below 1, or the image is above the pixel limit.
std::optional<ImageSize> FitInside(int width, int height, int boxWidth, int boxHeight);

// Scaled to the box height with the width in proportion. A result wider than the box is cut to
// the box width, keeping the scale: only the image's left `sourceWidth` pixels are drawn.
struct HeightFit {
    ImageSize size;
    double sourceWidth = 0;
    bool operator==(const HeightFit&) const = default;
};
// None when a side of the image or the box is below 1, or the image or the result is above the
// pixel limit.
std::optional<HeightFit> FitHeight(int width, int height, int boxWidth, int boxHeight);

// A packed DIB that GDI may read: every byte it reads (header, colour table or masks, pixels)
// lies inside the bytes.
struct PackedDib {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // negative for top-down rows
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    size_t pixelOffset = 0;  // header plus colour table or bit-field masks
    bool operator==(const PackedDib&) const = default;
};
// None for a header of another size, a zero or negative width, a zero height, an unknown bit
// count, a compression GDI cannot draw to the screen, or pixels that do not fit in the bytes.
std::optional<PackedDib> ReadPackedDib(const uint8_t* data, size_t size);

// The size a PNG, GIF, BMP or JPEG announces in its header, read before anything is decoded;
// none for other or truncated data (sides beyond int are clamped to its maximum).
std::optional<ImageSize> PeekEncodedImageSize(const uint8_t* data, size_t size);

}  // namespace zovrel::ui
