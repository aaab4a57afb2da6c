#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "clipboard/clipboard_entry.h"

namespace zovrel {

// What a files entry sends: every listed path in order, each as a transfer of its own. Folders
// cannot be sent and are left out (the caller logs them).
struct FileSendPlan {
    std::vector<std::wstring> files;    // trimmed; an empty one fails as a missing path
    std::vector<std::wstring> folders;  // left out
};

// The entry's file list, or its text when the list is empty (one path, as older entries hold).
FileSendPlan PlanFileSend(const ClipboardEntry& entry,
                          const std::function<bool(const std::wstring&)>& isFolder);

// Which transfer of a files entry is running: `index` (from 0) of `count`.
struct FileTurn {
    size_t index = 0;
    size_t count = 1;
    bool Last() const { return index + 1 >= count; }
};

// The progress text of one transfer as the user sees it: unchanged for a single file, else led
// by "2/3 ". The final text (percent -1) is left as it is: "2/3 82% 已取消" would not fit the
// transfer text, and the status line names the file that failed.
std::wstring FileProgressText(FileTurn turn, int percent, const std::wstring& text);
// Why the send failed, saying which file when there are several.
std::wstring FileFailureText(FileTurn turn, const std::wstring& error);

}  // namespace zovrel
