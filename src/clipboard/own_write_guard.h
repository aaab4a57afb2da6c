#pragma once

#include <cstdint>

namespace zovrel {

// The clipboard watcher's suppression depth: while it is above 0 the program itself is writing
// (or sending) clipboard content and the watcher captures nothing. The send task changes it
// from its own thread, so it is atomic.
void BeginOwnClipboardWrite();
void EndOwnClipboardWrite();  // never takes the depth below 0
int32_t OwnClipboardWriteDepth();

// Holds the depth raised from construction until Release or the end of the scope, whatever
// way the scope is left.
class OwnClipboardWriteScope {
  public:
    OwnClipboardWriteScope() { BeginOwnClipboardWrite(); }
    ~OwnClipboardWriteScope() { Release(); }
    OwnClipboardWriteScope(const OwnClipboardWriteScope&) = delete;
    OwnClipboardWriteScope& operator=(const OwnClipboardWriteScope&) = delete;
    void Release() {
        if (held_)
            EndOwnClipboardWrite();
        held_ = false;
    }

  private:
    bool held_ = true;
};

}  // namespace zovrel
