#include "fuzz_check.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"

using namespace zovrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MiddleHead head;
    const bool ok = ParseMiddleHead(data, size, head);
    FUZZ_CHECK(ok == (size >= MIDDLE_HEAD_SIZE));
    if (ok) {
        FUZZ_CHECK(head.crc_flag == data[0]);
        FUZZ_CHECK(head.start == ReadLE32(data, 1) && head.end == ReadLE32(data, 5));
    }

    // Our own bodies: the head reads back and the trailer is the chunk's checksum.
    const uint32_t start = size >= 4 ? ReadLE32(data, 0) : 0;
    const uint32_t end = start + static_cast<uint32_t>(size) - 1;
    const Bytes body = BuildMiddleBody(data, size, start, end);
    FUZZ_CHECK(body.size() == size + 13);
    MiddleHead back;
    FUZZ_CHECK(ParseMiddleHead(body, back));
    FUZZ_CHECK(back.crc_flag == CRC_FLAG_TRAILER && back.start == start && back.end == end);
    FUZZ_CHECK(ReadLE32(body, MIDDLE_HEAD_SIZE + size) == ProtocolChecksum(data, size));
    return 0;
}
