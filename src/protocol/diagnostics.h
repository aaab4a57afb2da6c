#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"

namespace zovrel {

// "GENERAL_REPLY", ..., or "UNKNOWN(0x%04X)".
std::wstring FrameTypeName(uint16_t type);

// One log line for the bytes of a frame; wire= is the length of the range handed in.
std::wstring FrameSummary(const uint8_t* data, size_t count);
inline std::wstring FrameSummary(const Bytes& frame) {
    return FrameSummary(frame.data(), frame.size());
}
// The same line for a frame already decoded (its wire size is its payload's plus 21).
std::wstring FrameSummary(const Frame& frame);

// "0A FF" style, the whole range; "<empty>" for nothing.
std::wstring HexBytes(const uint8_t* data, size_t count);
inline std::wstring HexBytes(const Bytes& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

// The value of a PERIPHERAL_ECHO as text (up to its first zero byte) and hex.
std::wstring DescribeTlvValue(const EchoTlv& tlv);

// Decodes bytes in the platform's default narrow code page.
std::wstring DecodeNarrowText(const uint8_t* data, size_t count);

}  // namespace zovrel
