#include "ui/notice_rules.h"

#include "base/text.h"
#include "ui/history_list_rules.h"
#include "ui/main_window_rules.h"
#include "ui/tray_icon.h"

namespace zovrel::ui {

namespace {

bool IsLineBreak(wchar_t c) {
    return c == L'\r' || c == L'\n' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool IsControl(wchar_t c) {
    const auto code = static_cast<uint32_t>(c);
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || IsBidiControl(c);
}

std::wstring FileName(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring OrBlank(std::wstring text) {
    return text.empty() ? std::wstring(notice_texts::kBlankText) : text;
}

}  // namespace

std::wstring NoticeLine(std::wstring_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && !IsLineBreak(text[end])) {
            ++end;
        }
        std::wstring line;
        for (wchar_t c : text.substr(start, end - start)) {
            if (!IsControl(c)) {
                line.push_back(c);
            }
        }
        line = TrimText(line);
        if (!line.empty()) {
            return CutTooltip(line, NOTICE_TEXT_LIMIT);
        }
        start = end + 1;
    }
    return {};
}

std::wstring EntrySummary(const ClipboardEntry& entry) {
    switch (entry.kind) {
        case ENTRY_KIND_IMAGE:
            return history_list::SizeText(entry.dataSize);
        case ENTRY_KIND_FILES:
            for (const std::wstring& path : entry.files) {
                if (!path.empty()) {
                    return NoticeLine(FileName(path));
                }
            }
            return NoticeLine(entry.text);
        default:
            return NoticeLine(entry.text);
    }
}

Notice ReceivedNotice(const ClipboardEntry& entry) {
    namespace t = notice_texts;
    switch (entry.kind) {
        case ENTRY_KIND_IMAGE:
            return {t::kReceivedImage, OrBlank(EntrySummary(entry)), {}};
        case ENTRY_KIND_FILES:
            return {t::kReceivedFile, OrBlank(EntrySummary(entry)), EntryFolderPath(entry)};
        default:
            return {t::kReceivedText, OrBlank(EntrySummary(entry)), {}};
    }
}

Notice ReceiveFailedNotice() {
    return {notice_texts::kReceiveFailed, notice_texts::kReceiveFailedText, {}};
}

Notice SendResultNotice(bool success, const std::wstring& summaryOrReason) {
    return {success ? notice_texts::kSent : notice_texts::kSendFailed,
            OrBlank(NoticeLine(summaryOrReason)),
            {}};
}

std::wstring SendingTooltip(const std::wstring& transferText) {
    return FormatText(notice_texts::kSendingTooltip, transferText.c_str());
}

}  // namespace zovrel::ui
