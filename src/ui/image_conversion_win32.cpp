#include "ui/image_conversion_win32.h"

#include <objidl.h>

#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <optional>

#include "ui/image_scaling.h"

namespace zovrel::ui {

namespace {

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, ComRelease>;
using GdiplusBitmap = std::unique_ptr<Gdiplus::Bitmap>;

const Gdiplus::Color kWhite(255, 255, 255, 255);

// Where the source goes in the result: the source rectangle drawn and the result's size.
struct Placement {
    Gdiplus::RectF source;
    ImageSize size;
};

// Draws the source rectangle of `image` stretched over a new white bitmap of `size`, so
// transparent pixels come out white, and hands back a bitmap handle.
UniqueBitmap Render(Gdiplus::Bitmap& image, const Placement& placement) {
    // An error left by an earlier call on the image means it cannot be drawn.
    if (image.GetLastStatus() != Gdiplus::Ok) {
        return {};
    }
    Gdiplus::Bitmap canvas(placement.size.width, placement.size.height, PixelFormat32bppARGB);
    if (canvas.GetLastStatus() != Gdiplus::Ok) {
        return {};
    }
    {
        Gdiplus::Graphics graphics(&canvas);
        if (graphics.GetLastStatus() != Gdiplus::Ok) {
            return {};
        }
        graphics.Clear(kWhite);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
        // Mirrored edges keep bicubic filtering from blending the border with nothing.
        Gdiplus::ImageAttributes edges;
        edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        const Gdiplus::RectF target(0, 0, static_cast<Gdiplus::REAL>(placement.size.width),
                                    static_cast<Gdiplus::REAL>(placement.size.height));
        const Gdiplus::Status drawn = graphics.DrawImage(
            &image, target, placement.source.X, placement.source.Y, placement.source.Width,
            placement.source.Height, Gdiplus::UnitPixel, &edges);
        if (drawn != Gdiplus::Ok) {
            return {};
        }
    }
    HBITMAP result = nullptr;
    if (canvas.GetHBITMAP(kWhite, &result) != Gdiplus::Ok) {
        return {};
    }
    return UniqueBitmap(result);
}

// The decoded image of any format GDI+ reads, or null. Images that announce more than the pixel
// limit are refused before decoding, the rest after.
GdiplusBitmap Decode(const uint8_t* data, size_t size) {
    if (const auto announced = PeekEncodedImageSize(data, size);
        announced && !IsWithinPixelLimit(announced->width, announced->height) &&
        announced->width > 0 && announced->height > 0) {
        return nullptr;
    }
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) {
        return nullptr;
    }
    {
        GlobalLockScope lock(block.Get());
        if (!lock.IsValid()) {
            return nullptr;
        }
        std::memcpy(lock.Get(), data, size);
    }
    IStream* rawStream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(block.Get(), TRUE, &rawStream))) {
        return nullptr;
    }
    block.Release();  // the stream frees it
    GdiplusBitmap bitmap;
    {
        StreamPtr stream(rawStream);
        bitmap.reset(Gdiplus::Bitmap::FromStream(stream.get()));
    }
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok ||
        !IsWithinPixelLimit(bitmap->GetWidth(), bitmap->GetHeight())) {
        return nullptr;
    }
    return bitmap;
}

// A screen bitmap made from a packed DIB whose every byte lies inside `data`, or none.
UniqueBitmap MakeDibBitmap(const uint8_t* data, size_t size) {
    const std::optional<PackedDib> dib = ReadPackedDib(data, size);
    if (!dib || !IsWithinPixelLimit(
                    dib->width, dib->height < 0 ? -int64_t{dib->height} : int64_t{dib->height})) {
        return {};
    }
    WindowDC screen(nullptr);
    if (!screen.IsValid()) {
        return {};
    }
    const auto* info = reinterpret_cast<const BITMAPINFO*>(data);
    return UniqueBitmap(::CreateDIBitmap(screen.Get(), &info->bmiHeader, CBM_INIT,
                                         data + dib->pixelOffset, info, DIB_RGB_COLORS));
}

// Calls `place(width, height)` with the image's size to learn where it goes, and renders it.
template <typename PlaceFn>
UniqueBitmap Scale(const uint8_t* data, size_t size, const std::wstring& fileName, PlaceFn place) {
    if (data == nullptr || size == 0) {
        return {};
    }
    if (IsPackedDibName(fileName)) {
        const UniqueBitmap original = MakeDibBitmap(data, size);
        if (!original) {
            return {};
        }
        Gdiplus::Bitmap wrapped(original.Get(), nullptr);
        const int width = static_cast<int>(wrapped.GetWidth());
        const int height = static_cast<int>(wrapped.GetHeight());
        if (width == 0 || height == 0) {
            return {};
        }
        const std::optional<Placement> placement = place(width, height);
        return placement ? Render(wrapped, *placement) : UniqueBitmap();
    }
    const GdiplusBitmap decoded = Decode(data, size);
    if (!decoded) {
        return {};
    }
    const std::optional<Placement> placement =
        place(static_cast<int>(decoded->GetWidth()), static_cast<int>(decoded->GetHeight()));
    return placement ? Render(*decoded, *placement) : UniqueBitmap();
}

Gdiplus::RectF WholeImage(int width, int height) {
    return Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(width),
                          static_cast<Gdiplus::REAL>(height));
}

}  // namespace

UniqueBitmap MakeFittedBitmap(const uint8_t* data, size_t size, const std::wstring& fileName,
                              int boxWidth, int boxHeight) {
    return Scale(data, size, fileName, [&](int width, int height) -> std::optional<Placement> {
        const auto fit = FitInside(width, height, boxWidth, boxHeight);
        if (!fit) {
            return std::nullopt;
        }
        return Placement{WholeImage(width, height), *fit};
    });
}

UniqueBitmap MakeHeightFittedBitmap(const uint8_t* data, size_t size, const std::wstring& fileName,
                                    int boxWidth, int boxHeight) {
    return Scale(data, size, fileName, [&](int width, int height) -> std::optional<Placement> {
        const auto fit = FitHeight(width, height, boxWidth, boxHeight);
        if (!fit) {
            return std::nullopt;
        }
        return Placement{Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(fit->sourceWidth),
                                        static_cast<Gdiplus::REAL>(height)),
                         fit->size};
    });
}

UniqueBitmap MakeOriginalBitmap(const uint8_t* data, size_t size, const std::wstring& fileName) {
    if (data == nullptr || size == 0) {
        return {};
    }
    if (IsPackedDibName(fileName)) {
        return MakeDibBitmap(data, size);
    }
    const GdiplusBitmap decoded = Decode(data, size);
    if (!decoded) {
        return {};
    }
    HBITMAP result = nullptr;
    if (decoded->GetHBITMAP(kWhite, &result) != Gdiplus::Ok) {
        return {};
    }
    return UniqueBitmap(result);
}

UniqueBitmap LoadPngResource(int id, int size) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (found == nullptr) {
        return {};
    }
    const DWORD bytes = ::SizeofResource(module, found);
    const HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr || bytes == 0) {
        return {};
    }
    return MakeFittedBitmap(static_cast<const uint8_t*>(data), bytes, L"resource.png", size, size);
}

}  // namespace zovrel::ui
