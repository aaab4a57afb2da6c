#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/notifier.h"
#include "clipboard/clipboard_entry.h"

namespace zovrel {

// The command line's stand-in for the main window. Log lines go out at once, one per line;
// progress goes to the second sink; received entries wait in a queue for the main thread, as
// they would for the window, so the serial reader never does the history's disk work.
class CliNotifier final : public Notifier {
  public:
    using LineSink = std::function<void(const std::wstring& line)>;

    CliNotifier(LineSink logLines, LineSink progressLines);

    bool PostHistoryChanged() override { return true; }
    bool PostSerialStateChanged() override { return true; }
    bool PostLogText(std::wstring line) override;
    bool PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) override;
    bool PostSendProgress(int percent, std::wstring text) override;
    bool PostSendResult(bool, std::wstring) override { return true; }

    // The entries received so far, oldest first; waits up to `waitMs` when there are none.
    std::vector<ClipboardEntry> TakeReceivedEntries(uint32_t waitMs);

  private:
    LineSink logLines_;
    LineSink progressLines_;
    std::mutex outputLock_;  // lines of several threads never interleave

    std::mutex queueLock_;
    std::condition_variable queued_;
    std::vector<ClipboardEntry> received_;
};

}  // namespace zovrel
