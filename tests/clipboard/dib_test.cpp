#include "clipboard/dib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"

namespace zovrel {
namespace {

struct Header {
    uint32_t size = 40;
    int32_t width = 2;
    int32_t height = 2;
    uint16_t bitCount = 32;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t coloursUsed = 0;
};

// A DIB with the given header and `extra` bytes after the header.
Bytes MakeDib(const Header& h, size_t extra) {
    Bytes b(h.size + extra, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put32(0, h.size);
    std::memcpy(b.data() + 4, &h.width, 4);
    std::memcpy(b.data() + 8, &h.height, 4);
    b[12] = 1;
    std::memcpy(b.data() + 14, &h.bitCount, 2);
    put32(16, h.compression);
    put32(20, h.imageSize);
    put32(32, h.coloursUsed);
    return b;
}

size_t Total(const Bytes& b) {
    return DibTotalSize(b.data(), b.size());
}

TEST(DibTotalSize, AddsHeaderColourTableAndPaddedRows) {
    // 3 pixels of 24 bits = 9 bytes, padded to 12, two rows.
    EXPECT_EQ(Total(MakeDib({.width = 3, .bitCount = 24}, 24)), 40u + 24u);
    // Top-down rows count by |height|.
    EXPECT_EQ(Total(MakeDib({.width = 3, .height = -2, .bitCount = 24}, 24)), 40u + 24u);
    // 8 bits without a colour count carries a full 256-entry table.
    EXPECT_EQ(Total(MakeDib({.width = 4, .height = 1, .bitCount = 8}, 1024 + 4)), 40u + 1024u + 4u);
    // A colour count overrides the table size.
    EXPECT_EQ(Total(MakeDib({.width = 4, .height = 1, .bitCount = 8, .coloursUsed = 2}, 8 + 4)),
              40u + 8u + 4u);
    // Bit-field masks follow only a plain information header; the larger headers hold them.
    EXPECT_EQ(Total(MakeDib({.width = 1, .height = 1, .compression = 3}, 12 + 4)), 40u + 12u + 4u);
    EXPECT_EQ(Total(MakeDib({.size = 124, .width = 1, .height = 1, .compression = 3}, 4)),
              124u + 4u);
    EXPECT_EQ(Total(MakeDib({.size = 108, .width = 1, .height = 1}, 4)), 108u + 4u);
}

TEST(DibTotalSize, TakesOnlyTheDibOutOfALargerBlock) {
    Bytes b = MakeDib({}, 16 + 100);  // global blocks are often rounded up
    EXPECT_EQ(Total(b), 40u + 16u);
    // A compressed image says its own length.
    Bytes jpeg =
        MakeDib({.width = 10, .height = 10, .bitCount = 24, .compression = 4, .imageSize = 50}, 60);
    EXPECT_EQ(Total(jpeg), 40u + 50u);
}

TEST(DibTotalSize, RefusesWhatIsNotAWholeDib) {
    EXPECT_EQ(DibTotalSize(nullptr, 100), 0u);
    Bytes b = MakeDib({}, 16);
    EXPECT_EQ(DibTotalSize(b.data(), 39), 0u);
    EXPECT_EQ(DibTotalSize(b.data(), 55), 0u);  // one pixel byte short
    EXPECT_EQ(Total(MakeDib({.size = 41}, 16)), 0u);
    EXPECT_EQ(Total(MakeDib({.size = 12}, 60)), 0u);  // the old core header is not taken
    // A header larger than the bytes at hand.
    Bytes v5 = MakeDib({.size = 124}, 0);
    EXPECT_EQ(DibTotalSize(v5.data(), 100), 0u);
    // A declared image size beyond the block.
    EXPECT_EQ(Total(MakeDib({.compression = 4, .imageSize = 1000}, 100)), 0u);
    // A colour table beyond the block.
    EXPECT_EQ(Total(MakeDib({.bitCount = 8, .coloursUsed = 300}, 1000)), 0u);
    // IsDibHeader looks at the header size only.
    EXPECT_TRUE(IsDibHeader(v5.data(), v5.size()));
    EXPECT_FALSE(IsDibHeader(v5.data(), 39));
}

TEST(DibTotalSize, UncompressedRowsCannotHideBehindASmallImageSize) {
    // 100x100 at 32 bits needs 40000 bytes; a field of 4 must not let a 44-byte copy through.
    Bytes b = MakeDib({.width = 100, .height = 100, .imageSize = 4}, 4);
    EXPECT_EQ(Total(b), 0u);
    Bytes whole = MakeDib({.width = 100, .height = 100, .imageSize = 4}, 40000);
    EXPECT_EQ(Total(whole), 40u + 40000u);
}

// Headers whose sizes would wrap around in 32-bit (or even 64-bit) arithmetic must never come out
// as a small length, even when the caller claims a huge block.
TEST(DibTotalSize, OverflowingHeadersNeverYieldASmallTotal) {
    const Header crafted[] = {
        {.width = 1, .height = INT_MIN},
        {.width = 0x7FFFFFFF, .height = 1},
        {.width = 0x7FFFFFFF, .height = INT_MIN},
        {.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .bitCount = 0xFFFF},
        {.width = 1, .height = 1, .bitCount = 8, .coloursUsed = 0xFFFFFFFF},
        {.width = 1, .height = 1, .bitCount = 8, .coloursUsed = 0x40000001},  // 4 in 32 bits
        {.width = 1, .height = 1, .compression = 4, .imageSize = 0xFFFFFFFF},
    };
    for (const Header& h : crafted) {
        Bytes b = MakeDib(h, 64);
        SCOPED_TRACE(testing::Message() << "width " << h.width << " height " << h.height << " bits "
                                        << h.bitCount << " colours " << h.coloursUsed);
        EXPECT_EQ(Total(b), 0u);
        // Only the header is read, so a claimed size far beyond the buffer is safe here.
        size_t claimed = DibTotalSize(b.data(), SIZE_MAX);
        EXPECT_TRUE(claimed == 0 || claimed > 0xFFFFFFFFull) << claimed;
    }
}

}  // namespace
}  // namespace zovrel
