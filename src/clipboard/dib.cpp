#include "clipboard/dib.h"

#include <cstring>

#include "base/bytes.h"

namespace zovrel {

namespace {

constexpr uint32_t INFO_HEADER_SIZE = 40;
constexpr uint32_t V4_HEADER_SIZE = 108;
constexpr uint32_t V5_HEADER_SIZE = 124;
constexpr uint32_t DIB_BI_RGB = 0;
constexpr uint32_t DIB_BI_BITFIELDS = 3;

// a * b, or false when it does not fit in 64 bits.
bool Multiply(uint64_t a, uint64_t b, uint64_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}
bool Add(uint64_t a, uint64_t b, uint64_t& out) {
    return !__builtin_add_overflow(a, b, &out);
}

// Bytes of uncompressed pixel rows (each padded to 4 bytes), or false on overflow or a degenerate
// size.
bool RowBytes(int32_t width, int32_t height, uint16_t bitCount, uint64_t& out) {
    if (width < 1 || height == 0 || bitCount == 0)
        return false;
    // |INT32_MIN| does not fit in 32 bits; in 64 it does.
    uint64_t rows = height < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(height))
                               : static_cast<uint64_t>(height);
    uint64_t bits = 0;
    if (!Multiply(bitCount, static_cast<uint64_t>(width), bits))
        return false;
    uint64_t stride = (bits + 31) / 32 * 4;
    return Multiply(stride, rows, out);
}

}  // namespace

bool IsDibHeader(const void* data, size_t available) {
    if (data == nullptr || available < INFO_HEADER_SIZE)
        return false;
    uint32_t size = ReadLE32(static_cast<const uint8_t*>(data), 0);
    return size == INFO_HEADER_SIZE || size == V4_HEADER_SIZE || size == V5_HEADER_SIZE;
}

size_t DibTotalSize(const void* data, size_t available) {
    if (!IsDibHeader(data, available))
        return 0;
    const auto* p = static_cast<const uint8_t*>(data);
    const uint32_t headerSize = ReadLE32(p, 0);
    if (headerSize > available)
        return 0;

    int32_t width = 0;
    int32_t height = 0;
    std::memcpy(&width, p + 4, 4);
    std::memcpy(&height, p + 8, 4);
    const uint16_t bitCount = ReadLE16(p, 14);
    const uint32_t compression = ReadLE32(p, 16);
    const uint32_t imageSize = ReadLE32(p, 20);
    const uint32_t coloursUsed = ReadLE32(p, 32);

    uint64_t colourTable = 0;
    if (compression == DIB_BI_BITFIELDS && headerSize == INFO_HEADER_SIZE) {
        colourTable = 12;
    } else if (coloursUsed != 0) {
        colourTable = 4 * static_cast<uint64_t>(coloursUsed);
    } else if (bitCount < 9) {
        colourTable = 4ull << bitCount;
    }
    uint64_t prefix = headerSize + colourTable;
    if (prefix > available)
        return 0;

    uint64_t pixels = imageSize;
    uint64_t rowBytes = 0;
    const bool haveRows = RowBytes(width, height, bitCount, rowBytes);
    if (imageSize == 0) {
        if (!haveRows) {
            // Either degenerate or so large that it cannot be held anyway.
            if (width >= 1 && height != 0 && bitCount != 0)
                return 0;
            pixels = 0;
        } else {
            pixels = rowBytes;
        }
    } else if (compression == DIB_BI_RGB || compression == DIB_BI_BITFIELDS) {
        // Uncompressed rows have a known length; an image-size field below it would let whoever
        // draws the DIB read past the end of what was copied.
        if (width >= 1 && height != 0 && bitCount != 0 && !haveRows)
            return 0;
        if (haveRows && rowBytes > pixels)
            pixels = rowBytes;
    }

    uint64_t total = 0;
    if (!Add(prefix, pixels, total))
        return 0;
    if (total == 0 || total > available)
        return 0;
    return static_cast<size_t>(total);
}

}  // namespace zovrel
