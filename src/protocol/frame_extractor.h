#pragma once

#include "base/bytes.h"

namespace zovrel {

// Cuts the oldest complete, valid frame out of the receive buffer into frameOut, removing it and
// any bytes in front of it. Returns false when no such frame is available yet, after dropping
// the bytes that can no longer start one. The caller holds the lock that guards the buffer.
bool ExtractFrame(Bytes& receiveBuffer, Bytes& frameOut);

}  // namespace zovrel
