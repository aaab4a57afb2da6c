#include <vector>

#include "fuzz_check.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"

using namespace zovrel;

namespace {

constexpr size_t kMaxRead = 8192;  // the serial reader's largest read

// The stream in one piece: the frames every other split must give too.
std::vector<Bytes> ExtractAll(const uint8_t* data, size_t size) {
    Bytes buffer(data, data + size);
    std::vector<Bytes> frames;
    Bytes frame;
    while (ExtractFrame(buffer, frame))
        frames.push_back(frame);
    return frames;
}

}  // namespace

// Input: 4 bytes seeding the read sizes, then the byte stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    uint32_t state = ReadLE32(data, 0) | 1;
    data += 4;
    size -= 4;
    const std::vector<Bytes> expected = ExtractAll(data, size);
    for (const Bytes& f : expected) {
        Frame parsed;
        FUZZ_CHECK(ParseFrame(f, parsed));
        FUZZ_CHECK(f.size() == parsed.payload.size() + FRAME_OVERHEAD);
    }

    // Read sizes from a xorshift sequence: mostly small, sometimes a full read.
    Bytes buffer;
    std::vector<Bytes> got;
    Bytes frame;
    for (size_t pos = 0; pos < size;) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const size_t want = (state & 0x100) ? kMaxRead : 1 + (state % 97);
        const size_t n = std::min(want, size - pos);
        buffer.insert(buffer.end(), data + pos, data + pos + n);
        pos += n;
        FUZZ_CHECK(buffer.size() <= MAX_FRAME_SIZE + n);
        while (ExtractFrame(buffer, frame))
            got.push_back(frame);
        FUZZ_CHECK(frame.empty());
        FUZZ_CHECK(buffer.size() < MAX_FRAME_SIZE);
    }
    FUZZ_CHECK(got == expected);
    return 0;
}
