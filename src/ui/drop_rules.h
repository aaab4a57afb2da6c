#pragma once

// What files dropped on the main window do, decided without a window: which paths become the
// new history entry, whether it is sent at once, and what the status line says.

#include <cstdint>
#include <string>
#include <vector>

#include "clipboard/clipboard_entry.h"

namespace zovrel::ui {

inline constexpr wchar_t kDropAddedWhileSending[] = L"已加入历史记录，正在发送其他内容";
inline constexpr wchar_t kDropNoFiles[] = L"没有可发送的文件";

enum class DroppedKind { File, Folder, Missing };

struct DroppedPath {
    std::wstring path;
    DroppedKind kind = DroppedKind::Missing;
    int64_t size = 0;  // bytes of a file
};

struct DropPlan {
    // The new entry: every dropped path that exists, folders too (as a copy of them would list
    // them; a send skips them). Empty when nothing is added.
    ClipboardEntry entry;
    bool add = false;
    bool send = false;
    std::wstring status;  // shown after the drop; empty leaves it to the send
};

// A drop with no file in it (folders only, or paths gone by now) adds nothing and says so. A
// drop while another send runs only adds its entry. Otherwise the entry is added and sent.
DropPlan PlanDrop(const std::vector<DroppedPath>& dropped, bool sending, uint64_t now);

}  // namespace zovrel::ui
