#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zovrel {

// Frames, bodies, payloads, image data and file contents are all plain byte vectors.
using Bytes = std::vector<uint8_t>;

// Little-endian fields of the wire protocol, bitmaps and history files. The caller guarantees the
// bytes exist.
inline uint16_t ReadLE16(const uint8_t* data, size_t offset) {
    return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}
inline uint32_t ReadLE32(const uint8_t* data, size_t offset) {
    return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
           (static_cast<uint32_t>(data[offset + 2]) << 16) |
           (static_cast<uint32_t>(data[offset + 3]) << 24);
}

}  // namespace zovrel
