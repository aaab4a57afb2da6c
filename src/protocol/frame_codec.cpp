#include "protocol/frame_codec.h"

#include <algorithm>
#include <cstring>

namespace zovrel {
namespace {

constexpr size_t LANES = 32;  // the weight (i & 31) repeats every 32 positions

uint32_t ScalarChecksum(uint32_t sum, const uint8_t* data, size_t count, uint64_t pos) {
    for (size_t i = 0; i < count; ++i, ++pos) {
        const uint32_t b = data[i];
        sum += b + (b & 7u) * static_cast<uint32_t>(pos & 31u);
    }
    return sum;
}

// Sums whole 32-byte blocks that start at a position divisible by 32, so byte j of every block
// has weight j. Per lane it keeps the plain byte sum and the sum of (b & 7) in 16-bit counters,
// which the compiler turns into vector adds; 256 blocks cannot overflow them (256 * 255).
uint32_t BlockChecksum(uint32_t sum, const uint8_t* data, size_t blocks) {
    uint32_t laneSum[LANES] = {};
    uint32_t laneLow[LANES] = {};
    while (blocks > 0) {
        const size_t run = std::min<size_t>(blocks, 256);
        uint16_t s16[LANES] = {};
        uint16_t l16[LANES] = {};
        for (size_t b = 0; b < run; ++b) {
            const uint8_t* p = data + b * LANES;
            for (size_t j = 0; j < LANES; ++j) {
                s16[j] = static_cast<uint16_t>(s16[j] + p[j]);
                l16[j] = static_cast<uint16_t>(l16[j] + (p[j] & 7));
            }
        }
        for (size_t j = 0; j < LANES; ++j) {
            laneSum[j] += s16[j];
            laneLow[j] += l16[j];
        }
        data += run * LANES;
        blocks -= run;
    }
    // Everything is modulo 2^32, so lane counters that wrap still give the exact result.
    for (size_t j = 0; j < LANES; ++j)
        sum += laneSum[j] + laneLow[j] * static_cast<uint32_t>(j);
    return sum;
}

}  // namespace

uint32_t ProtocolChecksumContinue(uint32_t sum, const uint8_t* data, size_t count,
                                  uint64_t startPos) {
    if (data == nullptr || count == 0)
        return sum;
    // Head: up to the next position that is a multiple of 32.
    const size_t head = std::min<size_t>(count, (LANES - (startPos & 31u)) & 31u);
    sum = ScalarChecksum(sum, data, head, startPos);
    data += head;
    count -= head;
    startPos += head;
    const size_t blocks = count / LANES;
    sum = BlockChecksum(sum, data, blocks);
    data += blocks * LANES;
    count -= blocks * LANES;
    startPos += blocks * LANES;
    return ScalarChecksum(sum, data, count, startPos);
}

uint32_t ProtocolChecksum(const uint8_t* data, size_t count) {
    return ProtocolChecksumContinue(0, data, count, 0);
}

bool FrameWireSize(uint64_t payloadLength, size_t& wireSize) {
    if (payloadLength > MAX_FRAME_PAYLOAD)
        return false;
    wireSize = static_cast<size_t>(payloadLength) + FRAME_OVERHEAD;
    return true;
}

void WriteLE16(Bytes& bytes, size_t offset, uint16_t value) {
    if (offset >= bytes.size() || bytes.size() - offset < 2)
        return;
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void WriteLE32(Bytes& bytes, size_t offset, uint32_t value) {
    if (offset >= bytes.size() || bytes.size() - offset < 4)
        return;
    for (int k = 0; k < 4; ++k)
        bytes[offset + k] = static_cast<uint8_t>(value >> (8 * k));
}

namespace {

Bytes WriteFrame(uint8_t channel, uint16_t type, uint32_t sn, uint32_t length,
                 const uint8_t* payload, size_t count) {
    if (payload == nullptr)
        count = 0;
    Bytes frame(count + FRAME_OVERHEAD, 0);
    frame[0] = FRAME_MAGIC_0;
    frame[1] = FRAME_MAGIC_1;
    frame[2] = channel;
    WriteLE32(frame, 3, sn);
    WriteLE32(frame, 7, length);
    WriteLE16(frame, 11, type);
    WriteLE32(frame, 13, static_cast<uint32_t>(count));
    if (count > 0)
        std::memcpy(frame.data() + FRAME_HEADER_SIZE, payload, count);
    const size_t body = FRAME_HEADER_SIZE + count;
    WriteLE32(frame, body, ProtocolChecksum(frame.data(), body));
    return frame;
}

}  // namespace

Bytes BuildFrame(uint8_t channel, uint16_t type, uint32_t sn, const uint8_t* payload,
                 size_t count) {
    const size_t n = payload == nullptr ? 0 : count;
    return WriteFrame(channel, type, sn, static_cast<uint32_t>(n + 6), payload, n);
}

Bytes BuildFrame(uint8_t channel, uint16_t type, uint32_t sn, const Bytes& payload) {
    return BuildFrame(channel, type, sn, payload.data(), payload.size());
}

Bytes EncodeFrame(const Frame& frame) {
    const FrameHeader& h = frame.header;
    return WriteFrame(h.channel, h.type, h.sn, h.length, frame.payload.data(),
                      frame.payload.size());
}

bool ParseFrameHeader(const uint8_t* data, size_t count, FrameHeader& header) {
    if (data == nullptr || count < FRAME_HEADER_SIZE)
        return false;
    if (data[0] != FRAME_MAGIC_0 || data[1] != FRAME_MAGIC_1)
        return false;
    header.channel = data[2];
    header.sn = ReadLE32(data, 3);
    header.length = ReadLE32(data, 7);
    header.type = ReadLE16(data, 11);
    header.payloadLength = ReadLE32(data, 13);
    return true;
}

bool ParseFrame(const uint8_t* data, size_t count, FrameHeader& header, Bytes& payload) {
    if (!ParseFrameHeader(data, count, header))
        return false;
    size_t total = 0;
    if (!FrameWireSize(header.payloadLength, total))
        return false;
    if (count < total)
        return false;
    if (ReadLE32(data, total - 4) != ProtocolChecksum(data, total - 4))
        return false;
    payload.assign(data + FRAME_HEADER_SIZE, data + FRAME_HEADER_SIZE + header.payloadLength);
    return true;
}

bool ParseFrame(const uint8_t* data, size_t count, Frame& frame) {
    return ParseFrame(data, count, frame.header, frame.payload);
}

}  // namespace zovrel
