#include "ui/image_scaling.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "clipboard/dib.h"

namespace zovrel::ui {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

int32_t LeInt32(const uint8_t* p) {
    int32_t value = 0;
    std::memcpy(&value, p, 4);
    return value;
}
uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}
uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

int ClampToInt(int64_t value) {
    const int64_t magnitude = value < 0 ? -value : value;
    return static_cast<int>(std::min<int64_t>(magnitude, INT_MAX));
}

// ⌊x + 0.5⌋ as an int, at least 1; huge values saturate (the pixel limit refuses them later).
int RoundSide(double x) {
    const double rounded = std::floor(x + 0.5);
    if (!(rounded < static_cast<double>(INT_MAX))) {
        return INT_MAX;
    }
    return std::max(static_cast<int>(rounded), 1);
}

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
    return size >= length && std::memcmp(data, magic, length) == 0;
}

std::optional<ImageSize> PeekJpegSize(const uint8_t* data, size_t size) {
    size_t pos = 2;  // after the start-of-image marker
    while (pos < size) {
        if (data[pos] != 0xFF) {
            return std::nullopt;
        }
        while (pos < size && data[pos] == 0xFF) {
            ++pos;  // fill bytes
        }
        if (pos >= size) {
            return std::nullopt;
        }
        const uint8_t marker = data[pos++];
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue;  // markers without a segment
        }
        if (marker == 0xD9 || marker == 0xDA || size - pos < 2) {
            return std::nullopt;  // the image data began before any frame header
        }
        const size_t length = Be16(data + pos);
        if (length < 2) {
            return std::nullopt;
        }
        const bool frameHeader =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frameHeader) {
            if (size - pos < 7) {
                return std::nullopt;
            }
            return ImageSize{Be16(data + pos + 5), Be16(data + pos + 3)};
        }
        if (size - pos < length) {
            return std::nullopt;
        }
        pos += length;
    }
    return std::nullopt;
}

}  // namespace

bool IsWithinPixelLimit(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImagePixels &&
           height <= kMaxImagePixels / width;
}

std::wstring ImageExtension(std::wstring_view fileName) {
    const std::wstring name = TrimText(fileName);
    const size_t slash = name.find_last_of(L"\\/");
    const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot < start || dot + 1 == name.size()) {
        return {};
    }
    return ToLowerAscii(std::wstring_view(name).substr(dot));
}

bool IsPackedDibName(std::wstring_view fileName) {
    return ImageExtension(fileName) == L".dib";
}

std::optional<ImageSize> FitInside(int width, int height, int boxWidth, int boxHeight) {
    if (boxWidth < 1 || boxHeight < 1 || !IsWithinPixelLimit(width, height)) {
        return std::nullopt;
    }
    const double scale = std::min(
        {static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height, 1.0});
    return ImageSize{RoundSide(scale * width), RoundSide(scale * height)};
}

std::optional<HeightFit> FitHeight(int width, int height, int boxWidth, int boxHeight) {
    if (boxWidth < 1 || boxHeight < 1 || !IsWithinPixelLimit(width, height)) {
        return std::nullopt;
    }
    const double scale = static_cast<double>(boxHeight) / height;
    const int fullWidth = RoundSide(scale * width);
    HeightFit fit;
    fit.size = ImageSize{std::min(fullWidth, boxWidth), boxHeight};
    fit.sourceWidth = fit.size.width == fullWidth ? width : fit.size.width / scale;
    if (!IsWithinPixelLimit(fit.size.width, fit.size.height)) {
        return std::nullopt;
    }
    return fit;
}

std::optional<PackedDib> ReadPackedDib(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 40) {
        return std::nullopt;
    }
    PackedDib dib;
    dib.headerSize = ReadLE32(data, 0);
    dib.width = LeInt32(data + 4);
    dib.height = LeInt32(data + 8);
    dib.bitCount = ReadLE16(data, 14);
    dib.compression = ReadLE32(data, 16);
    const uint32_t imageSize = ReadLE32(data, 20);
    const uint32_t coloursUsed = ReadLE32(data, 32);

    if (dib.headerSize != 40 && dib.headerSize != 108 && dib.headerSize != 124) {
        return std::nullopt;
    }
    // A negative width means nothing to GDI; refusing it keeps the size arithmetic simple.
    if (dib.width <= 0 || dib.height == 0) {
        return std::nullopt;
    }
    switch (dib.bitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return std::nullopt;
    }
    // What GDI can draw to the screen. Compressed rows are read up to the image size field, so
    // it must be given; masks go with 16 and 32 bits only, else GDI would read a palette.
    switch (dib.compression) {
        case kBiRgb:
            break;
        case kBiRle8:
        case kBiRle4:
            if (imageSize == 0 || dib.bitCount != (dib.compression == kBiRle8 ? 8 : 4)) {
                return std::nullopt;
            }
            break;
        case kBiBitfields:
            if (dib.bitCount != 16 && dib.bitCount != 32) {
                return std::nullopt;
            }
            break;
        default:
            return std::nullopt;
    }

    uint64_t colourTable = 0;
    if (dib.compression == kBiBitfields && dib.headerSize == 40) {
        colourTable = 12;
    } else if (coloursUsed != 0) {
        colourTable = uint64_t{coloursUsed} * 4;
    } else if (dib.bitCount <= 8) {
        colourTable = uint64_t{4} << dib.bitCount;
    }
    const uint64_t pixelOffset = dib.headerSize + colourTable;
    // The whole DIB, pixels included, must lie inside the bytes: GDI reads all of it.
    const uint64_t total = DibTotalSize(data, size);
    if (total == 0 || pixelOffset >= total) {
        return std::nullopt;
    }
    dib.pixelOffset = static_cast<size_t>(pixelOffset);
    return dib;
}

std::optional<ImageSize> PeekEncodedImageSize(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return std::nullopt;
    }
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) {
        if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) {
            return std::nullopt;
        }
        return ImageSize{ClampToInt(Be32(data + 16)), ClampToInt(Be32(data + 20))};
    }
    if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) {
        if (size < 10) {
            return std::nullopt;
        }
        return ImageSize{ReadLE16(data, 6), ReadLE16(data, 8)};
    }
    if (StartsWith(data, size, "BM", 2)) {
        if (size < 26) {
            return std::nullopt;
        }
        if (ReadLE32(data, 14) == 12) {  // the old core header has 16-bit sides
            return ImageSize{ReadLE16(data, 18), ReadLE16(data, 20)};
        }
        return ImageSize{ClampToInt(LeInt32(data + 18)), ClampToInt(LeInt32(data + 22))};
    }
    if (StartsWith(data, size, "\xFF\xD8", 2)) {
        return PeekJpegSize(data, size);
    }
    return std::nullopt;
}

}  // namespace zovrel::ui
