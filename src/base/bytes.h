#pragma once

#include <cstdint>
#include <vector>

namespace zovrel {

// Frames, bodies, payloads, image data and file contents are all plain byte vectors.
using Bytes = std::vector<uint8_t>;

}  // namespace zovrel
