#pragma once

// The tray notifications, decided without a shell: what arrived from the device, a failed
// transfer from it, and how a send ends while the window is hidden (with its progress in the
// tooltip meanwhile).

#include <string>
#include <string_view>

#include "clipboard/clipboard_entry.h"

namespace zovrel::ui {

struct Notice {
    std::wstring title;
    std::wstring text;    // never empty: a balloon without text is no balloon
    std::wstring folder;  // not empty: a click on the notice opens it; else shows the window
};

// The longest notice text the shell takes, terminator excluded.
inline constexpr size_t NOTICE_TEXT_LIMIT = 255;

namespace notice_texts {
inline constexpr wchar_t kReceivedText[] = L"收到文本";
inline constexpr wchar_t kReceivedImage[] = L"收到图片";
inline constexpr wchar_t kReceivedFile[] = L"收到文件";
inline constexpr wchar_t kReceiveFailed[] = L"接收失败";
inline constexpr wchar_t kReceiveFailedText[] = L"设备发来的内容没有完整收到，已丢弃";
inline constexpr wchar_t kSent[] = L"已发送到设备";
inline constexpr wchar_t kSendFailed[] = L"发送失败";
inline constexpr wchar_t kBlankText[] = L"（空白）";
inline constexpr wchar_t kSendingTooltip[] = L"zovrel - 正在发送 %ls";
inline constexpr wchar_t kLogLine[] = L"通知: %ls · %ls";
}  // namespace notice_texts

// One line of text from elsewhere, fit to show: its first line that is not blank, without
// control characters and bidirectional controls, trimmed and cut to NOTICE_TEXT_LIMIT.
// Empty when nothing is left.
std::wstring NoticeLine(std::wstring_view text);

// What an entry is, in one short line: a text's first line, an image's size, the first file's
// name.
std::wstring EntrySummary(const ClipboardEntry& entry);

// What the device sent: "收到文本" with its first line, "收到图片" with its size, "收到文件"
// with its name (a click opens its folder).
Notice ReceivedNotice(const ClipboardEntry& entry);
Notice ReceiveFailedNotice();
// A send's end: "已发送到设备" with what was sent, or "发送失败" with the reason.
Notice SendResultNotice(bool success, const std::wstring& summaryOrReason);

// The tray's tooltip while a send runs with the window hidden: "zovrel - 正在发送 45%".
std::wstring SendingTooltip(const std::wstring& transferText);

}  // namespace zovrel::ui
