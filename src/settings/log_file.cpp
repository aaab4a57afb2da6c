#include "settings/log_file.h"

#include <mutex>

#include "base/text.h"
#include "settings/data_root.h"
#include "settings/file_io.h"

namespace zovrel {
namespace {

constexpr char UTF8_MARK[] = "\xEF\xBB\xBF";

// Creates the "logs" folder when needed; falls back to the root itself when it cannot be made.
std::wstring LogFilePathIn(const std::wstring& root, const LocalTime& date) {
    const std::wstring logs = JoinPath(root, L"logs");
    return JoinPath(EnsureFolderExists(logs) ? logs : root,
                    FormatText(L"zovrel-%04d%02d%02d.log", date.year, date.month, date.day));
}

std::mutex& LogFileMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::wstring LogFilePath(const LocalTime& date) {
    return LogFilePathIn(GetDataRoot(), date);
}

void AppendToLogFileAt(const std::wstring& text, const LocalTime& now) {
    if (text.empty())
        return;
    std::string line = ToUtf8(text);
    line += "\r\n";
    // The data root is resolved before the lock is taken (it has a lock of its own), so that
    // nothing else is ever acquired while the log-file lock is held.
    const std::wstring root = GetDataRoot();
    if (root.empty())
        return;
    std::lock_guard<std::mutex> lock(LogFileMutex());
    AppendToFile(LogFilePathIn(root, now), UTF8_MARK,
                 line);  // a line that cannot be written is dropped
}

void AppendToLogFile(const std::wstring& text) {
    AppendToLogFileAt(text, LocalNow());
}

std::wstring FormatLogTimestamp(const LocalTime& now) {
    return FormatText(L"%02d:%02d:%02d.%03d", now.hour, now.minute, now.second, now.millisecond);
}

std::wstring FormatLogTimestamp() {
    return FormatLogTimestamp(LocalNow());
}

}  // namespace zovrel
