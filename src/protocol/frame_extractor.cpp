#include "protocol/frame_extractor.h"

namespace zovrel {

bool ExtractFrame(Bytes& receiveBuffer, Frame& frameOut, IncompleteCandidate incomplete) {
    frameOut = Frame{};
    Bytes& buf = receiveBuffer;
    const size_t size = buf.size();
    if (size < FRAME_HEADER_SIZE)
        return false;
    const uint8_t* data = buf.data();
    // Every examined position has a full header's worth of bytes behind it: position 0 because
    // size >= 17, later ones because the loop stops before i + 17 would pass the end.
    for (size_t i = 0;; ++i) {
        size_t total = 0;
        if (data[i] == FRAME_MAGIC_0 && data[i + 1] == FRAME_MAGIC_1 &&
            FrameWireSize(ReadLE32(data, i + 13), total)) {
            if (size - i >= total) {
                if (ReadLE32(data, i + total - 4) == ProtocolChecksum(data + i, total - 4)) {
                    ParseFrameHeader(data + i, total, frameOut.header);
                    frameOut.payload.assign(data + i + FRAME_HEADER_SIZE, data + i + total - 4);
                    buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(i + total));
                    return true;
                }
                // A checksum mismatch moves on by one byte only, so that a real frame that
                // starts inside the rejected one is still found.
            } else if (incomplete == IncompleteCandidate::WAIT) {
                // Wait for the rest of this candidate, kept at the front of the buffer.
                if (i > 0)
                    buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(i));
                return false;
            }
        }
        if (i + FRAME_HEADER_SIZE + 1 > size) {
            // Keep the last 16 bytes: they may be the start of a header still arriving.
            buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(i + 1));
            return false;
        }
    }
}

}  // namespace zovrel
