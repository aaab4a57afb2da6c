#include "ui/image_scaling.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/test_support.h"

namespace zovrel::ui {
namespace {

// Only the last component's suffix counts, in any case, blanks around the name trimmed.
TEST(ImageExtension, OnlyADibSuffixIsPacked) {
    EXPECT_TRUE(IsPackedDibName(L"  shot.DIB \t") && IsPackedDibName(L"a.b/c\\d.dib"));
    EXPECT_FALSE(IsPackedDibName(L"clip.dib.png") || IsPackedDibName(L"C:\\a.dib\\noext") ||
                 IsPackedDibName(L"C:\\a.dib/noext"));
}

TEST(PixelLimit, SixtyFourMegapixels) {
    EXPECT_TRUE(IsWithinPixelLimit(8192, 8192));
    EXPECT_FALSE(IsWithinPixelLimit(1, kMaxImagePixels + 1));
    EXPECT_FALSE(IsWithinPixelLimit(0, 5) || IsWithinPixelLimit(5, -1));
    EXPECT_FALSE(IsWithinPixelLimit(INT_MAX, INT_MAX));
}

TEST(FitInside, ShrinksToTheBoxAndNeverEnlarges) {
    EXPECT_EQ(FitInside(10, 10, 24, 24), (ImageSize{10, 10}));   // small stays small
    EXPECT_EQ(FitInside(3, 2, 2, 2), (ImageSize{2, 1}));         // 1.33 rounds down
    EXPECT_EQ(FitInside(100, 50, 33, 33), (ImageSize{33, 17}));  // 16.5 rounds up
    EXPECT_EQ(FitInside(20000, 1, 10, 10), (ImageSize{10, 1}));
    EXPECT_EQ(FitInside(8193, 8192, 24, 24), std::nullopt);  // source above the limit
    EXPECT_EQ(FitInside(10, 10, 24, -3), std::nullopt);
}

TEST(FitHeight, ScalesToTheBoxHeightAndCutsAtTheBoxWidth) {
    // The image's width and height, the box's, and the result.
    const std::tuple<int, int, int, int, std::optional<HeightFit>> cases[] = {
        {100, 50, 200, 25, HeightFit{{50, 25}, 100}},
        {10, 10, 200, 40, HeightFit{{40, 40}, 10}},  // enlarged to the height
        // 2000 wide at this scale: the left 50 source pixels fill the box.
        {1000, 10, 100, 20, HeightFit{{100, 20}, 50}},
        // 100000 x 1 would be 6.8 million pixels wide; 200 are rendered.
        {100000, 1, 200, 68, HeightFit{{200, 68}, 200.0 / 68}},
        {20000, 10000, 10000, 10000, std::nullopt},  // result above the limit
        {9000, 9000, 10, 10, std::nullopt},          // source above the limit
    };
    for (const auto& [w, h, boxWidth, boxHeight, result] : cases) {
        EXPECT_EQ(FitHeight(w, h, boxWidth, boxHeight), result) << w << "x" << h;
    }
}

using test::DibHeader;

TEST(ReadPackedDib, PixelsStartAfterTheColourTableOrMasks) {
    // The header, the bytes after it (colour table or masks, then pixels), where the pixels start.
    const std::tuple<const char*, DibHeader, size_t, size_t> cases[] = {
        {"24-bit, rows padded, top-down", {.width = 3, .height = -2, .bitCount = 24}, 24, 40},
        {"8-bit full palette", {.bitCount = 8}, 1032, 1064},
        {"1-bit, 2 colours", {.width = 9, .bitCount = 1}, 16, 48},
        {"32-bit bit fields: masks skipped", {.compression = 3}, 28, 52},
        {"v5 bit fields: masks in the header", {.size = 124, .compression = 3}, 16, 124},
        {"24-bit with an optional palette", {.bitCount = 24, .coloursUsed = 3}, 28, 52},
        {"rle8 with its size",
         {.bitCount = 8, .compression = 1, .imageSize = 4, .coloursUsed = 2},
         12,
         48},
    };
    for (const auto& [name, h, tail, pixelOffset] : cases) {
        const auto bytes = test::PackedDib(h, Bytes(tail));
        const auto dib = ReadPackedDib(bytes.data(), bytes.size());
        ASSERT_TRUE(dib.has_value()) << name;
        EXPECT_EQ(dib->pixelOffset, pixelOffset) << name;
        EXPECT_EQ(std::pair(dib->width, dib->height), std::pair(h.width, h.height)) << name;
    }
}

// How far the DIB reaches is the clipboard's DIB size check, tested with it; these rows are
// what only a packed DIB for GDI refuses, and two over-reads that show the check is used.
TEST(ReadPackedDib, RefusesWhatGdiWouldReadPastTheEnd) {
    const std::tuple<const char*, DibHeader, size_t> cases[] = {
        {"palette fills every byte", {.bitCount = 8}, 1024},
        {"masks missing", {.compression = 3}, 4},
        {"rle without its size", {.bitCount = 8, .compression = 1, .coloursUsed = 2}, 24},
        {"bit fields on 8 bits", {.bitCount = 8, .compression = 3}, 1040},
        {"jpeg inside", {.compression = 4, .imageSize = 16}, 16},
        {"header 12", {.size = 12}, 16},
        {"negative width", {.width = -2}, 16},
        {"height 0", {.height = 0}, 16},
        {"rle4 on 8 bits", {.bitCount = 8, .compression = 2, .imageSize = 4}, 1040},
        {"bit count 2", {.bitCount = 2}, 16},
    };
    for (const auto& [name, h, tail] : cases) {
        const auto bytes = test::PackedDib(h, Bytes(tail));
        EXPECT_FALSE(ReadPackedDib(bytes.data(), bytes.size()).has_value()) << name;
    }
    EXPECT_FALSE(ReadPackedDib(test::PackedDib({}, Bytes(16)).data(), 39).has_value());
    EXPECT_FALSE(ReadPackedDib(nullptr, 100).has_value());
}

TEST(PeekEncodedImageSize, ReadsTheSizeFromTheHeader) {
    using namespace std::string_literals;
    const std::string png = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x27\x10\0\x01\x86\xA0"s;
    const std::string bmpStart = "BM"s + std::string(12, '\0');
    const std::tuple<const char*, std::string, std::optional<ImageSize>> cases[] = {
        {"png", png, ImageSize{10000, 100000}},
        {"png beyond int", png.substr(0, 16) + "\xFF\xFF\xFF\xFF\0\0\0\x01"s,
         ImageSize{INT_MAX, 1}},
        {"png cut", png.substr(0, 20), std::nullopt},
        {"gif", "GIF89a\x40\x01\xF0\0"s, ImageSize{320, 240}},
        // Height -100: top-down.
        {"bmp top-down", bmpStart + "(\0\0\0\x20\x03\0\0\x9C\xFF\xFF\xFF"s, ImageSize{800, 100}},
        // Start of image, an APP0 segment of 4 bytes, fill bytes, then a progressive frame header.
        {"jpeg", "\xFF\xD8\xFF\xE0\0\x04JF\xFF\xFF\xC2\0\x0B\x08\x01\x2C\x02\x58\x03"s,
         ImageSize{600, 300}},
        {"jpeg table before the frame",
         "\xFF\xD8\xFF\xC4\0\x07\x01\x02\x03\x04\x05\xFF\xC0\0\x0B\x08\0\x02\0\x03"s,
         ImageSize{3, 2}},
        {"jpeg scan before any frame", "\xFF\xD8\xFF\xDA\0\x04\x01\x02"s, std::nullopt},
        {"unknown", "II*\0\x08\0\0\0"s, std::nullopt},
    };
    for (const auto& [name, bytes, size] : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_EQ(PeekEncodedImageSize(data, bytes.size()), size) << name;
    }
}

}  // namespace
}  // namespace zovrel::ui
