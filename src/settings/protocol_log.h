#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "base/notifier.h"

namespace zovrel {

// Stamps protocol and transfer events ("hh:mm:ss.mmm CH text", channels "SYS", "TX", "RX"),
// appends them to the log file and posts them to the main window when one is set.
class ProtocolLog {
  public:
    explicit ProtocolLog(Notifier* notifier = nullptr) : notifier_(notifier) {}

    void SetNotifier(Notifier* notifier) { notifier_.store(notifier); }

    // Any thread. A post that fails is dropped; the file has the line regardless.
    void Log(std::wstring_view channel, std::wstring_view text);

  private:
    std::atomic<Notifier*> notifier_;
};

// The process-wide entry points. They forward to the log of the attached transfer engine and
// drop the line while none is attached. Attaching or clearing waits for lines being forwarded,
// so a log is never used after it was cleared.
void SetActiveProtocolLog(ProtocolLog* log);
inline void ClearActiveProtocolLog() {
    SetActiveProtocolLog(nullptr);
}
void LogOnChannel(std::wstring_view channel, std::wstring_view text);
void LogSys(std::wstring_view text);

}  // namespace zovrel
