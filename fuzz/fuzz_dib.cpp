// Clipboard DIBs come from any program on the desktop: the length must stay inside the block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clipboard/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so any read past the end is caught.
    std::vector<uint8_t> block(data, data + size);
    size_t total = zovrel::DibTotalSize(block.data(), block.size());
    if (total != 0 && (total < 40 || total > size))
        std::abort();
    if (total != 0 && !zovrel::IsDibHeader(block.data(), block.size()))
        std::abort();
    // The length must not depend on bytes beyond it.
    if (total != 0 && total < size) {
        if (zovrel::DibTotalSize(block.data(), total) != total)
            std::abort();
    }
    return 0;
}
