#pragma once

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

namespace zovrel {

// Every frame: magic 57 AB, channel, sn, length, type, payloadLength, payload, checksum.
constexpr uint8_t FRAME_MAGIC_0 = 0x57;
constexpr uint8_t FRAME_MAGIC_1 = 0xAB;
constexpr size_t FRAME_HEADER_SIZE = 17;
constexpr size_t FRAME_OVERHEAD = 21;
constexpr uint32_t MAX_FRAME_PAYLOAD = 65536;
constexpr size_t MAX_FRAME_SIZE = MAX_FRAME_PAYLOAD + FRAME_OVERHEAD;  // 65557

constexpr uint8_t CHANNEL_TRANSFER = 0x06;
constexpr uint8_t CHANNEL_PERIPHERAL = 0x03;

constexpr uint16_t GENERAL_REPLY = 0;
constexpr uint16_t START_REQUEST = 1;
constexpr uint16_t DEVICE_QUERY = 2;
constexpr uint16_t FIRST_PACKET = 3;
constexpr uint16_t MIDDLE_PACKET = 4;
constexpr uint16_t FINISH_PACKET = 5;
constexpr uint16_t PERIPHERAL_ECHO = 20;
constexpr uint16_t DEVICE_QUERY_RSP = 130;

// The largest packet we tell the device we accept: 10240 bytes of transfer data plus 64 bytes
// for a packet's own fields.
constexpr uint32_t ADVERTISED_MAX_PACKET = 10240 + 64;

struct FrameHeader {
    uint8_t channel = 0;
    uint32_t sn = 0;
    uint32_t length = 0;  // as received; the receiver relies on payloadLength only
    uint16_t type = 0;
    uint32_t payloadLength = 0;
};

struct Frame {
    FrameHeader header;
    Bytes payload;
};

// Position-weighted additive sum: sum += b[i] + (b[i] & 7) * (i & 31), modulo 2^32.
uint32_t ProtocolChecksum(const uint8_t* data, size_t count);
inline uint32_t ProtocolChecksum(const Bytes& bytes) {
    return ProtocolChecksum(bytes.data(), bytes.size());
}
// Continues a checksum over a range checksummed in pieces: startPos is the position of data[0]
// within the whole range, so ProtocolChecksumContinue(ProtocolChecksum(a, k), a + k, n - k, k)
// equals ProtocolChecksum(a, n).
uint32_t ProtocolChecksumContinue(uint32_t sum, const uint8_t* data, size_t count,
                                  uint64_t startPos);

// False when the payload is too large for one frame; otherwise the frame's size on the wire.
bool FrameWireSize(uint64_t payloadLength, size_t& wireSize);

Bytes BuildFrame(uint8_t channel, uint16_t type, uint32_t sn, const uint8_t* payload, size_t count);
Bytes BuildFrame(uint8_t channel, uint16_t type, uint32_t sn, const Bytes& payload = {});
// The wire bytes of a decoded frame, its length field as it was: for a frame that parsed, exactly
// the bytes it was parsed from.
Bytes EncodeFrame(const Frame& frame);

// Checks only the size and the magic bytes.
bool ParseFrameHeader(const uint8_t* data, size_t count, FrameHeader& header);
// Full validation; bytes after the frame are ignored.
bool ParseFrame(const uint8_t* data, size_t count, FrameHeader& header, Bytes& payload);
bool ParseFrame(const uint8_t* data, size_t count, Frame& frame);
inline bool ParseFrame(const Bytes& bytes, Frame& frame) {
    return ParseFrame(bytes.data(), bytes.size(), frame);
}

inline uint16_t ReadLE16(const Bytes& bytes, size_t offset) {
    return ReadLE16(bytes.data(), offset);
}
inline uint32_t ReadLE32(const Bytes& bytes, size_t offset) {
    return ReadLE32(bytes.data(), offset);
}

// Do nothing when the value would not fit inside the vector.
void WriteLE16(Bytes& bytes, size_t offset, uint16_t value);
void WriteLE32(Bytes& bytes, size_t offset, uint32_t value);

}  // namespace zovrel
