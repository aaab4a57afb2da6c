// Image bytes to screen bitmaps with the real GDI and GDI+ under Wine. GDI+ output is judged by
// size, white where the source was transparent, and colours inside solid areas.
#include "ui/image_conversion_win32.h"

#include <cstring>
#include <vector>

#include "support/gui_test_support.h"
#include "support/test_support.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using test::CaptureBitmap;
using test::CapturedImage;
using test::EncodeImage;
using test::Near;
using test::PackedDib;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kClear = 0x00000000;  // transparent black: shows black if alpha is dropped

// 40 × 20: the left half opaque red, the right half fully transparent.
const std::vector<uint8_t>& HalfTransparentPng() {
    static const auto png = EncodeImage(40, 20, [](int x, int) { return x < 20 ? kRed : kClear; });
    return png;
}

class ImageConversionTest : public test::GuiTest {};

TEST_F(ImageConversionTest, TransparentPixelsEndUpWhiteInEveryResult) {
    const auto& png = HalfTransparentPng();
    const struct {
        const char* name;
        UniqueBitmap bitmap;
        int width, height;
    } cases[] = {
        {"original", MakeOriginalBitmap(png.data(), png.size(), L"a.png"), 40, 20},
        {"fitted", MakeFittedBitmap(png.data(), png.size(), L"a.png", 24, 24), 24, 12},
        {"height_fitted", MakeHeightFittedBitmap(png.data(), png.size(), L"a.png", 100, 10), 20,
         10},
    };
    for (const auto& c : cases) {
        const CapturedImage image = CaptureBitmap(c.bitmap.Get());
        test::SaveImageScreenshot(image, std::wstring(L"image_transparent_") +
                                             std::wstring(c.name, c.name + std::strlen(c.name)));
        EXPECT_EQ(image.Size(), std::pair(c.width, c.height)) << c.name;
        // The middle of the red half; the middle and corners of the transparent one.
        for (const POINT p : {POINT{c.width - 1, 0}, POINT{c.width - 1, c.height - 1}}) {
            EXPECT_EQ(image.PixelAt(p.x, p.y), RGB(255, 255, 255)) << c.name << " " << p.x;
        }
        EXPECT_TRUE(Near(image.PixelAt(c.width / 4, c.height / 2), RGB(255, 0, 0))) << c.name;
        EXPECT_EQ(image.PixelAt(c.width * 3 / 4, c.height / 2), RGB(255, 255, 255)) << c.name;
    }
}

TEST_F(ImageConversionTest, HeightFittedWidthStopsAtTheBoxKeepingTheLeftPartsScale) {
    // 4000 × 2: the first 5 columns blue, the rest red. At the box height of 20 the scale is 10,
    // so 40000 pixels would be needed; the box's 100 show the left 10 columns.
    const auto wide = EncodeImage(4000, 2, [](int x, int) { return x < 5 ? kBlue : kRed; });
    const UniqueBitmap bitmap =
        MakeHeightFittedBitmap(wide.data(), wide.size(), L"wide.png", 100, 20);
    const CapturedImage image = CaptureBitmap(bitmap.Get());
    test::SaveImageScreenshot(image, L"image_height_fitted_cut");
    ASSERT_EQ(image.Size(), std::pair(100, 20));
    EXPECT_TRUE(Near(image.PixelAt(20, 10), RGB(0, 0, 255)));
    EXPECT_TRUE(Near(image.PixelAt(80, 10), RGB(255, 0, 0)));
}

TEST_F(ImageConversionTest, PackedDibsAreReadWithTheirMasks) {
    // 32 bits with bit fields whose red and blue masks are swapped: the pixels read right only
    // when the masks are read and skipped.
    const auto bitfields =
        PackedDib({.width = 4, .height = 1, .bitCount = 32, .compression = BI_BITFIELDS},
                  {0x000000FF, 0x0000FF00, 0x00FF0000},
                  {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0});
    const COLORREF row[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    const CapturedImage image =
        CaptureBitmap(MakeOriginalBitmap(bitfields.data(), bitfields.size(), L"clip.dib").Get());
    ASSERT_EQ(image.Size(), std::pair(4, 1));
    for (int x = 0; x < 4; ++x) {
        EXPECT_TRUE(Near(image.PixelAt(x, 0), row[x], 8)) << x;
    }
}

TEST_F(ImageConversionTest, ShortHostileAndOversizedImagesAreRefused) {
    // 8 × 8 at 32 bits, one pixel byte short (the other malformed headers, and results above
    // the limit, are the native tables' and the fuzz targets').
    const auto shortDib =
        PackedDib({.width = 8, .height = 8, .bitCount = 32}, {}, std::vector<uint8_t>(255));
    // 8200 × 8200 at one bit is only 8 MB of bytes, but 67 megapixels on the screen.
    const int side = 8200;
    const auto overLimitDib =
        PackedDib({.width = side, .height = side, .bitCount = 1}, {0, 0xFFFFFF},
                  std::vector<uint8_t>(static_cast<size_t>(1028) * side));
    // A PNG header announcing 10000 × 10000 (of a few bytes of data).
    auto bombPng = HalfTransparentPng();
    for (int i = 0; i < 2; ++i) {
        const uint8_t side10000[] = {0x00, 0x00, 0x27, 0x10};
        std::memcpy(bombPng.data() + 16 + 4 * i, side10000, 4);
    }
    const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'g'};
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
        const wchar_t* fileName;
    } cases[] = {
        {"dib one byte short", shortDib, L"a.dib"},
        {"dib above 64 megapixels", overLimitDib, L"a.dib"},
        {"png announcing 100 megapixels", bombPng, L"a.png"},
        {"not an image", garbage, L"a.png"},
    };
    for (const auto& c : cases) {
        const auto* data = c.bytes.data();
        EXPECT_FALSE(MakeOriginalBitmap(data, c.bytes.size(), c.fileName)) << c.name;
        EXPECT_FALSE(MakeFittedBitmap(data, c.bytes.size(), c.fileName, 24, 24)) << c.name;
        EXPECT_FALSE(MakeHeightFittedBitmap(data, c.bytes.size(), c.fileName, 200, 68)) << c.name;
    }
}

TEST_F(ImageConversionTest, PngResourceIsFittedIntoItsSquare) {
    EXPECT_FALSE(LoadPngResource(9999, 24));
    const UniqueBitmap button = LoadPngResource(IDB_MENU_BUTTON_PNG, 24);
    const CapturedImage image = CaptureBitmap(button.Get());
    test::SaveImageScreenshot(image, L"image_menu_button");
    EXPECT_EQ(image.Size(), std::pair(24, 24));
}

}  // namespace
}  // namespace zovrel::ui
