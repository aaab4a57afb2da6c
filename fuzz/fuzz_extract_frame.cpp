#include <vector>

#include "fuzz_check.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"

using namespace zovrel;

constexpr size_t MAX_READ = 8192;  // the serial reader's largest read

// Input: 4 bytes seeding the read sizes, then the byte stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    uint32_t state = ReadLE32(data, 0) | 1;
    data += 4;
    size -= 4;
    // The stream in one piece: the frames every other split must give too.
    Bytes buffer(data, data + size);
    Frame frame;
    std::vector<Bytes> expected, got;
    while (ExtractFrame(buffer, frame))
        expected.push_back(EncodeFrame(frame));

    // Read sizes from a xorshift sequence: mostly small, sometimes a full read.
    buffer.clear();
    for (size_t pos = 0; pos < size;) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const size_t n = std::min((state & 0x100) ? MAX_READ : 1 + (state % 97), size - pos);
        buffer.insert(buffer.end(), data + pos, data + pos + n);
        pos += n;
        FUZZ_CHECK(buffer.size() <= MAX_FRAME_SIZE + n);
        while (ExtractFrame(buffer, frame))
            got.push_back(EncodeFrame(frame));
        FUZZ_CHECK(frame.payload.empty());
        FUZZ_CHECK(buffer.size() < MAX_FRAME_SIZE);
    }
    FUZZ_CHECK(got == expected);

    // Once the line has gone quiet, giving up incomplete candidates leaves a partial header at
    // most.
    while (ExtractFrame(buffer, frame, IncompleteCandidate::GIVE_UP))
        FUZZ_CHECK(frame.payload.size() <= MAX_FRAME_PAYLOAD);
    FUZZ_CHECK(buffer.size() < FRAME_HEADER_SIZE);
    return 0;
}
