// Packed DIBs and encoded images come from any program's clipboard and from the device: a DIB
// accepted for drawing must hold every byte GDI will read, whatever its header says.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/bytes.h"
#include "clipboard/dib.h"
#include "fuzz_check.h"
#include "ui/image_scaling.h"

namespace {

using zovrel::ReadLE32;

// What GDI reads after the header, recomputed from the header by GDI's own rules: the colour
// table (at most 2^bits entries, none for deeper pixels), the masks, then the rows or, for RLE,
// the image size.
unsigned __int128 BytesGdiReads(const uint8_t* p) {
    const uint32_t headerSize = ReadLE32(p, 0);
    const auto width = static_cast<int32_t>(ReadLE32(p, 4));
    const auto height = static_cast<int32_t>(ReadLE32(p, 8));
    const unsigned bitCount = p[14] | p[15] << 8;
    const uint32_t compression = ReadLE32(p, 16);
    const uint32_t imageSize = ReadLE32(p, 20);
    const uint32_t coloursUsed = ReadLE32(p, 32);

    unsigned __int128 table = 0;
    if (compression == 3 && headerSize == 40) {
        table = 12;
    } else if (bitCount <= 8) {
        const uint64_t entries = uint64_t{1} << bitCount;
        table = 4 * static_cast<unsigned __int128>(
                        coloursUsed != 0 ? std::min<uint64_t>(coloursUsed, entries) : entries);
    }
    const unsigned __int128 rows = static_cast<unsigned __int128>(std::llabs(int64_t{height}));
    const unsigned __int128 stride =
        (static_cast<unsigned __int128>(width) * bitCount + 31) / 32 * 4;
    const unsigned __int128 pixels =
        (compression == 1 || compression == 2) ? imageSize : stride * rows;
    return headerSize + table + pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so any read past the end is caught.
    std::vector<uint8_t> block(data, data + size);
    // The clipboard's length of a DIB stays inside the block and depends on nothing past it.
    if (const size_t total = zovrel::DibTotalSize(block.data(), block.size())) {
        FUZZ_CHECK(total >= 40 && total <= size && zovrel::IsDibHeader(block.data(), size));
        FUZZ_CHECK(zovrel::DibTotalSize(block.data(), total) == total);
    }
    if (const auto dib = zovrel::ui::ReadPackedDib(block.data(), block.size())) {
        FUZZ_CHECK(dib->width > 0 && dib->height != 0);
        FUZZ_CHECK(dib->pixelOffset >= dib->headerSize && dib->pixelOffset < size);
        FUZZ_CHECK(BytesGdiReads(block.data()) <= size);
    }
    if (const auto announced = zovrel::ui::PeekEncodedImageSize(block.data(), block.size())) {
        FUZZ_CHECK(announced->width >= 0 && announced->height >= 0);
    }
    return 0;
}
