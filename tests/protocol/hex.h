#pragma once

#include <cstdlib>
#include <string>

#include "base/bytes.h"

namespace zovrel {

// "57 AB 06" -> {0x57, 0xAB, 0x06}; blanks and commas between bytes are ignored.
inline Bytes HexToBytes(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',')
            continue;
        digits += c;
        if (digits.size() == 2) {
            out.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

}  // namespace zovrel
