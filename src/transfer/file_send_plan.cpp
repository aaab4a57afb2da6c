#include "transfer/file_send_plan.h"

#include "base/text.h"

namespace zovrel {

FileSendPlan PlanFileSend(const ClipboardEntry& entry,
                          const std::function<bool(const std::wstring&)>& isFolder) {
    FileSendPlan plan;
    const std::vector<std::wstring> listed =
        entry.files.empty() ? std::vector<std::wstring>{entry.text} : entry.files;
    for (const std::wstring& raw : listed) {
        std::wstring path = TrimText(raw);
        if (!path.empty() && isFolder(path))
            plan.folders.push_back(std::move(path));
        else
            plan.files.push_back(std::move(path));
    }
    return plan;
}

std::wstring FileProgressText(FileTurn turn, int percent, const std::wstring& text) {
    if (turn.count <= 1 || percent < 0)
        return text;
    return FormatText(L"%d/%d %ls", static_cast<int>(turn.index + 1), static_cast<int>(turn.count),
                      text.c_str());
}

std::wstring FileFailureText(FileTurn turn, const std::wstring& error) {
    if (turn.count <= 1)
        return error;
    return FormatText(L"第 %d/%d 个文件发送失败: %ls", static_cast<int>(turn.index + 1),
                      static_cast<int>(turn.count), error.c_str());
}

}  // namespace zovrel
