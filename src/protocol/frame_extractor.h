#pragma once

#include "base/bytes.h"
#include "protocol/frame_codec.h"

namespace zovrel {

// What ExtractFrame does with a candidate frame whose declared size has not arrived yet.
enum class IncompleteCandidate {
    WAIT,     // keep it at the front of the buffer until the rest arrives
    GIVE_UP,  // pass over it like one whose checksum failed: the rest is not coming
};

// Cuts the oldest complete, valid frame out of the receive buffer into frameOut (decoded, its
// checksum checked), removing it and any bytes in front of it. Returns false when no such frame
// is available yet, after dropping the bytes that can no longer start one. The caller holds the
// lock that guards the buffer.
bool ExtractFrame(Bytes& receiveBuffer, Frame& frameOut,
                  IncompleteCandidate incomplete = IncompleteCandidate::WAIT);

}  // namespace zovrel
