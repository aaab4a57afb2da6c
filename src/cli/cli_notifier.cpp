#include "cli/cli_notifier.h"

#include <chrono>

#include "cli/cli_format.h"

namespace zovrel {

CliNotifier::CliNotifier(LineSink logLines, LineSink progressLines)
    : logLines_(std::move(logLines)), progressLines_(std::move(progressLines)) {}

bool CliNotifier::PostLogText(std::wstring line) {
    if (line.empty())
        return true;
    std::lock_guard lock(outputLock_);
    if (logLines_)
        logLines_(line);
    return true;
}

bool CliNotifier::PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) {
    if (!entry)
        return true;
    {
        std::lock_guard lock(queueLock_);
        received_.push_back(std::move(*entry));
    }
    queued_.notify_all();
    return true;
}

bool CliNotifier::PostSendProgress(int percent, std::wstring text) {
    const std::wstring line = FormatProgressLine(percent, text);
    if (line.empty())
        return true;
    std::lock_guard lock(outputLock_);
    if (progressLines_)
        progressLines_(line);
    return true;
}

std::vector<ClipboardEntry> CliNotifier::TakeReceivedEntries(uint32_t waitMs) {
    std::unique_lock lock(queueLock_);
    if (received_.empty() && waitMs > 0)
        queued_.wait_for(lock, std::chrono::milliseconds(waitMs),
                         [&] { return !received_.empty(); });
    std::vector<ClipboardEntry> taken;
    taken.swap(received_);
    return taken;
}

}  // namespace zovrel
