#pragma once

#include <random>
#include <sstream>
#include <string>

#include "base/bytes.h"

namespace zovrel {

// "57 AB 06" -> {0x57, 0xAB, 0x06}
inline Bytes HexToBytes(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (unsigned byte; in >> std::hex >> byte;)
        out.push_back(static_cast<uint8_t>(byte));
    return out;
}

inline Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

}  // namespace zovrel
