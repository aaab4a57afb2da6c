// Clipboard DIBs come from any program on the desktop: the length must stay inside the block.
#include <vector>

#include "clipboard/dib.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so any read past the end is caught.
    std::vector<uint8_t> block(data, data + size);
    const size_t total = zovrel::DibTotalSize(block.data(), block.size());
    if (total == 0)
        return 0;
    FUZZ_CHECK(total >= 40 && total <= size);
    FUZZ_CHECK(zovrel::IsDibHeader(block.data(), block.size()));
    // The length does not depend on bytes beyond it.
    FUZZ_CHECK(zovrel::DibTotalSize(block.data(), total) == total);
    return 0;
}
