#include "settings/protocol_log.h"

#include <mutex>

#include "settings/log_file.h"

namespace zovrel {
namespace {

// Held while a line is forwarded, so clearing waits for lines in flight and a cleared log (or
// the window it posts to) is never touched again. A plain mutex, not a reader-writer lock: with
// readers preferred, steady logging could keep a detach waiting forever. The log-file lock is
// taken inside it, never the other way round.
std::mutex& ActiveMutex() {
    static std::mutex mutex;
    return mutex;
}

ProtocolLog*& ActiveLog() {
    static ProtocolLog* log = nullptr;
    return log;
}

}  // namespace

void ProtocolLog::Log(std::wstring_view channel, std::wstring_view text) {
    std::wstring line = FormatLogTimestamp();
    line += L' ';
    line += channel;
    line += L' ';
    line += text;
    AppendToLogFile(line);
    if (Notifier* notifier = notifier_.load())
        notifier->PostLogText(std::move(line));
}

void SetActiveProtocolLog(ProtocolLog* log) {
    std::lock_guard<std::mutex> lock(ActiveMutex());
    ActiveLog() = log;
}

void LogOnChannel(std::wstring_view channel, std::wstring_view text) {
    std::lock_guard<std::mutex> lock(ActiveMutex());
    if (ProtocolLog* log = ActiveLog())
        log->Log(channel, text);
}

void LogSys(std::wstring_view text) {
    LogOnChannel(L"SYS", text);
}

}  // namespace zovrel
