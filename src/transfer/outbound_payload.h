#pragma once

#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "clipboard/clipboard_entry.h"

namespace zovrel {

// What one send puts on the wire: the data type of the descriptor, the payload bytes, and the
// name announced for images and files (empty for text).
struct OutboundPayload {
    uint16_t dataType = 0;
    Bytes bytes;
    std::wstring fileName;
};

// The transfer's `total` (payload + 52-byte descriptor) is a signed 32-bit number on both sides
// of the line, so no payload may push it past this.
constexpr uint64_t MAX_TRANSFER_TOTAL = 2147483647;

// Turns an entry into a payload. On false `error` holds the text to show the user and nothing
// may be sent.
bool PrepareOutboundPayload(const ClipboardEntry& entry, OutboundPayload& payload,
                            std::wstring& error);

// True when `count` payload bytes of this type may be sent; otherwise sets the error text.
bool CheckPayloadSize(uint16_t dataType, uint64_t count, std::wstring& error);

}  // namespace zovrel
