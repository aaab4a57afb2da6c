#include "ui/image_scaling.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "base/text.h"

namespace zovrel::ui {
namespace {

TEST(ImageExtension, LastComponentsSuffixLowerCasedAndOnlyDibIsPacked) {
    const struct {
        const wchar_t* name;
        const wchar_t* extension;
        bool packedDib;
    } cases[] = {
        {L"photo.PNG", L".png", false},
        {L"  shot.DIB \t", L".dib", true},
        {L"C:\\a.b\\noext", L"", false},
        {L"/tmp/x.y/name", L"", false},
        {L"folder.d/file\\pic.Jpeg", L".jpeg", false},
        {L"archive.tar.GZ", L".gz", false},
        {L"clip.dib.png", L".png", false},
        {L"a.dibx", L".dibx", false},
        {L"trailing.", L"", false},
        {L"dib", L"", false},
        {L"", L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ImageExtension(c.name), c.extension) << ToUtf8(c.name);
        EXPECT_EQ(IsPackedDibName(c.name), c.packedDib) << ToUtf8(c.name);
    }
}

TEST(PixelLimit, SixtyFourMegapixels) {
    const struct {
        int64_t width, height;
        bool ok;
    } cases[] = {
        {8192, 8192, true},
        {8192, 8193, false},
        {1, kMaxImagePixels, true},
        {1, kMaxImagePixels + 1, false},
        {0, 5, false},
        {5, -1, false},
        {INT_MAX, INT_MAX, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWithinPixelLimit(c.width, c.height), c.ok) << c.width << " x " << c.height;
    }
}

TEST(FitInside, ShrinksToTheBoxAndNeverEnlarges) {
    const struct {
        int w, h, bw, bh;
        std::optional<ImageSize> result;
    } cases[] = {
        {1, 1000, 24, 24, ImageSize{1, 24}},
        {1000, 1, 24, 24, ImageSize{24, 1}},
        {10, 10, 24, 24, ImageSize{10, 10}},  // small stays small
        {48, 24, 24, 24, ImageSize{24, 12}},
        {3, 2, 2, 2, ImageSize{2, 1}},         // 1.33 rounds down
        {100, 50, 33, 33, ImageSize{33, 17}},  // 16.5 rounds up
        {20000, 1, 10, 10, ImageSize{10, 1}},
        {8193, 8192, 24, 24, std::nullopt},  // source above the limit
        {0, 10, 24, 24, std::nullopt},
        {10, 10, 24, -3, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitInside(c.w, c.h, c.bw, c.bh), c.result)
            << c.w << "x" << c.h << " into " << c.bw << "x" << c.bh;
    }
}

TEST(FitHeight, ScalesToTheBoxHeightAndCutsAtTheBoxWidth) {
    const struct {
        int w, h, bw, bh;
        std::optional<HeightFit> result;
    } cases[] = {
        {100, 50, 200, 25, HeightFit{{50, 25}, 100}},
        {10, 10, 200, 40, HeightFit{{40, 40}, 10}},  // enlarged to the height
        {10, 1000, 50, 20, HeightFit{{1, 20}, 10}},  // at least one pixel wide
        // 2000 wide at this scale: the left 50 source pixels fill the box.
        {1000, 10, 100, 20, HeightFit{{100, 20}, 50}},
        // 100000 x 1 would be 6.8 million pixels wide; 200 are rendered.
        {100000, 1, 200, 68, HeightFit{{200, 68}, 200.0 / 68}},
        {20000, 10000, 10000, 10000, std::nullopt},  // result above the limit
        {9000, 9000, 10, 10, std::nullopt},          // source above the limit
        {1, 1, 10, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto fit = FitHeight(c.w, c.h, c.bw, c.bh);
        ASSERT_EQ(fit.has_value(), c.result.has_value())
            << c.w << "x" << c.h << " into " << c.bw << "x" << c.bh;
        if (fit) {
            EXPECT_EQ(fit->size, c.result->size) << c.w << "x" << c.h;
            EXPECT_DOUBLE_EQ(fit->sourceWidth, c.result->sourceWidth) << c.w << "x" << c.h;
        }
    }
}

// A packed DIB: header of `headerSize` bytes, `table` bytes of colour table or masks, then
// `pixels` bytes.
struct DibShape {
    uint32_t headerSize = 40;
    int32_t width = 2;
    int32_t height = 2;
    uint16_t bitCount = 32;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t coloursUsed = 0;
    size_t table = 0;
    size_t pixels = 16;
};

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

std::vector<uint8_t> MakeDib(const DibShape& s) {
    std::vector<uint8_t> bytes(std::max<size_t>(s.headerSize, 40) + s.table + s.pixels);
    Put32(bytes, 0, s.headerSize);
    Put32(bytes, 4, static_cast<uint32_t>(s.width));
    Put32(bytes, 8, static_cast<uint32_t>(s.height));
    bytes[12] = 1;
    bytes[14] = static_cast<uint8_t>(s.bitCount);
    bytes[15] = static_cast<uint8_t>(s.bitCount >> 8);
    Put32(bytes, 16, s.compression);
    Put32(bytes, 20, s.imageSize);
    Put32(bytes, 32, s.coloursUsed);
    return bytes;
}

TEST(ReadPackedDib, PixelsStartAfterTheColourTableOrMasks) {
    const struct {
        const char* name;
        DibShape shape;
        size_t pixelOffset;
    } cases[] = {
        {"32-bit rgb", {}, 40},
        {"24-bit, rows padded", {.width = 3, .height = 2, .bitCount = 24, .pixels = 24}, 40},
        {"top-down", {.height = -2}, 40},
        {"8-bit full palette", {.bitCount = 8, .table = 1024, .pixels = 8}, 1064},
        {"8-bit, 2 colours used", {.bitCount = 8, .coloursUsed = 2, .table = 8, .pixels = 8}, 48},
        {"1-bit", {.width = 9, .bitCount = 1, .table = 8, .pixels = 8}, 48},
        {"32-bit bit fields: masks skipped", {.compression = 3, .table = 12}, 52},
        {"v5 bit fields: masks in the header", {.headerSize = 124, .compression = 3}, 124},
        {"24-bit with an optional palette", {.bitCount = 24, .coloursUsed = 3, .table = 12}, 52},
        {"rle8 with its size",
         {.bitCount = 8,
          .compression = 1,
          .imageSize = 4,
          .coloursUsed = 2,
          .table = 8,
          .pixels = 4},
         48},
    };
    for (const auto& c : cases) {
        const auto bytes = MakeDib(c.shape);
        const auto dib = ReadPackedDib(bytes.data(), bytes.size());
        ASSERT_TRUE(dib.has_value()) << c.name;
        EXPECT_EQ(dib->pixelOffset, c.pixelOffset) << c.name;
        EXPECT_EQ(dib->width, c.shape.width) << c.name;
        EXPECT_EQ(dib->height, c.shape.height) << c.name;
    }
}

TEST(ReadPackedDib, RefusesWhatGdiWouldReadPastTheEnd) {
    const struct {
        const char* name;
        DibShape shape;
    } cases[] = {
        {"one pixel byte short", {.pixels = 15}},
        {"rows need padding the bytes lack",
         {.width = 3, .height = 2, .bitCount = 24, .pixels = 18}},
        {"small image size field, rows still needed", {.imageSize = 1, .pixels = 15}},
        {"palette fills every byte", {.bitCount = 8, .table = 1024, .pixels = 0}},
        {"masks missing", {.compression = 3, .table = 0, .pixels = 4}},
        {"huge sides", {.width = INT_MAX, .height = INT_MAX}},
        {"most negative height", {.height = INT_MIN}},
        {"huge colour count", {.bitCount = 8, .coloursUsed = 0xFFFFFFFF, .table = 1024}},
        {"rle without its size", {.bitCount = 8, .compression = 1, .coloursUsed = 2, .table = 8}},
        {"rle4 on 8 bits",
         {.bitCount = 8,
          .compression = 2,
          .imageSize = 4,
          .coloursUsed = 2,
          .table = 8,
          .pixels = 4}},
        {"bit fields on 8 bits", {.bitCount = 8, .compression = 3, .table = 1024}},
        {"jpeg inside", {.compression = 4, .imageSize = 16}},
        {"header 12", {.headerSize = 12}},
        {"negative width", {.width = -2}},
        {"height 0", {.height = 0}},
        {"bit count 2", {.bitCount = 2}},
    };
    for (const auto& c : cases) {
        const auto bytes = MakeDib(c.shape);
        EXPECT_FALSE(ReadPackedDib(bytes.data(), bytes.size()).has_value()) << c.name;
    }
    const auto valid = MakeDib({});
    EXPECT_FALSE(ReadPackedDib(valid.data(), 39).has_value());
    EXPECT_FALSE(ReadPackedDib(nullptr, 100).has_value());
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) {
        bytes.push_back(static_cast<uint8_t>(v));
    }
    return bytes;
}

TEST(PeekEncodedImageSize, ReadsTheSizeFromTheHeader) {
    const auto png = Bytes({0x89, 'P', 'N', 'G', 13, 10, 26,   10,   0, 0, 0,    13,
                            'I',  'H', 'D', 'R', 0,  0,  0x27, 0x10, 0, 1, 0x86, 0xA0});
    const auto hugePng = Bytes({0x89, 'P', 'N', 'G', 13,   10,   26,   10,   0, 0, 0, 13,
                                'I',  'H', 'D', 'R', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1});
    const auto gif = Bytes({'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0xF0, 0x00});
    auto bmp = Bytes({'B', 'M'});
    bmp.resize(26);
    bmp[14] = 40;
    bmp[18] = 0x20;  // width 800
    bmp[19] = 0x03;
    bmp[22] = 0x9C;  // height -100 (top-down)
    std::memset(bmp.data() + 23, 0xFF, 3);
    auto coreBmp = Bytes({'B', 'M'});
    coreBmp.resize(26);
    coreBmp[14] = 12;
    coreBmp[18] = 7;
    coreBmp[20] = 9;
    // Start of image, an APP0 segment of 4 bytes, fill bytes, then a progressive frame header.
    const auto jpeg = Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F', 0xFF, 0xFF, 0xC2, 0, 11, 8,
                             0x01, 0x2C, 0x02, 0x58, 3});
    const auto jpegNoFrame = Bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 4, 1, 2});
    const auto jpegCut = Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x10, 0});
    const std::vector<uint8_t> pngCut(png.begin(), png.begin() + 20);
    const auto tiff = Bytes({'I', 'I', 42, 0, 8, 0, 0, 0});
    const auto jpegDht =
        Bytes({0xFF, 0xD8, 0xFF, 0xC4, 0, 7, 1, 2, 3, 4, 5, 0xFF, 0xC0, 0, 11, 8, 0, 2, 0, 3});
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
        std::optional<ImageSize> size;
    } cases[] = {
        {"png", png, ImageSize{10000, 100000}},
        {"png beyond int", hugePng, ImageSize{INT_MAX, 1}},
        {"png cut", pngCut, std::nullopt},
        {"gif", gif, ImageSize{320, 240}},
        {"bmp top-down", bmp, ImageSize{800, 100}},
        {"bmp core header", coreBmp, ImageSize{7, 9}},
        {"jpeg", jpeg, ImageSize{600, 300}},
        {"jpeg table before the frame", jpegDht, ImageSize{3, 2}},
        {"jpeg scan before any frame", jpegNoFrame, std::nullopt},
        {"jpeg cut", jpegCut, std::nullopt},
        {"unknown", tiff, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PeekEncodedImageSize(c.bytes.data(), c.bytes.size()), c.size) << c.name;
    }
}

}  // namespace
}  // namespace zovrel::ui
