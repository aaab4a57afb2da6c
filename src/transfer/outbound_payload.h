#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/bytes.h"
#include "clipboard/clipboard_entry.h"
#include "transfer/payload_source.h"

namespace zovrel {

// What one send puts on the wire: the data type of the descriptor, the payload, and the name
// announced for images and files (empty for text). Texts and images are held in `bytes`; a file
// is `stream`, open for the whole send and read as it goes, and `bytes` stays empty.
struct OutboundPayload {
    uint16_t dataType = 0;
    Bytes bytes;
    std::wstring fileName;
    std::unique_ptr<PayloadSource> stream = nullptr;
};

// The transfer's `total` (payload + 52-byte descriptor) is a signed 32-bit number on both sides
// of the line, so no payload may push it past this.
constexpr uint64_t MAX_TRANSFER_TOTAL = 2147483647;

// Turns an entry into a payload. On false `error` holds the text to show the user and nothing
// may be sent. A files entry gives its first file; the sender sends every file of it, each
// prepared with PrepareOutboundFile.
bool PrepareOutboundPayload(const ClipboardEntry& entry, OutboundPayload& payload,
                            std::wstring& error);

// Opens one file of a files entry for sending; it stays open, denying writers where the
// platform can, until the payload is destroyed.
bool PrepareOutboundFile(const std::wstring& path, OutboundPayload& payload, std::wstring& error);

// True when `count` payload bytes of this type may be sent; otherwise sets the error text.
bool CheckPayloadSize(uint16_t dataType, uint64_t count, std::wstring& error);

}  // namespace zovrel
