#pragma once

#include <cstddef>
#include <cstdint>

namespace zovrel {

// A DIB as CF_DIB carries it: an information header (40, 108 or 124 bytes), the colour table or
// bit-field masks, then the pixel rows.

// True when the bytes begin with an information header of a known size (40, 108 or 124).
bool IsDibHeader(const void* data, size_t available);

// The DIB's whole length (header, colour table, pixels), or 0 when the bytes are not a valid DIB
// that fits in `available`. Computed in 64 bits with every product checked, so a crafted header
// can never wrap around to a small length.
size_t DibTotalSize(const void* data, size_t available);

}  // namespace zovrel
