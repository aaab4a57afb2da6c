#pragma once

#include "base/bytes.h"

namespace zovrel {

// What the transfer engine needs of the serial link: whether the port is open, writing one whole
// frame, and noting that the device's heartbeat arrived (feeds the silence watchdog).
class SerialChannel {
  public:
    virtual ~SerialChannel() = default;
    virtual bool IsOpen() = 0;
    // True only when every byte of the frame was written.
    virtual bool Write(const Bytes& frame) = 0;
    virtual void StampEcho() = 0;
};

}  // namespace zovrel
