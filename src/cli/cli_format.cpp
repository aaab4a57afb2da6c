#include "cli/cli_format.h"

#include "base/local_time.h"
#include "base/text.h"

namespace zovrel {
namespace {

constexpr size_t HISTORY_TEXT_CHARS = 60;

bool IsSurrogateHigh(wchar_t c) {
    return sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

std::wstring FormatPortLine(const PortInfo& port) {
    return port.portName + L'\t' + port.displayText;
}

std::wstring OneLineText(std::wstring_view text, size_t maxChars) {
    std::wstring line;
    bool pendingBlank = false;
    for (wchar_t c : text) {
        if (IsBlank(c)) {
            pendingBlank = !line.empty();
            continue;
        }
        if (pendingBlank)
            line += L' ';
        pendingBlank = false;
        line += c;
    }
    // Count characters, not UTF-16 units, so both builds cut a text at the same place.
    size_t chars = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (chars == maxChars) {
            std::wstring cut = TrimText(std::wstring_view(line).substr(0, i));
            return cut + L"…";
        }
        ++chars;
        if (IsSurrogateHigh(line[i]) && i + 1 < line.size())
            ++i;
    }
    return line;
}

std::wstring EntryKindName(uint32_t kind) {
    switch (kind) {
        case ENTRY_KIND_TEXT:
            return L"text";
        case ENTRY_KIND_IMAGE:
            return L"image";
        case ENTRY_KIND_FILES:
            return L"files";
        default:
            return FormatText(L"kind%u", kind);
    }
}

std::wstring FormatHistoryLine(int index, const ClipboardEntry& entry) {
    std::wstring text = entry.text;
    if (TrimText(text).empty()) {
        if (!entry.files.empty()) {
            text.clear();
            for (const std::wstring& file : entry.files)
                text += (text.empty() ? L"" : L"; ") + file;
        } else {
            text = entry.imageFileName;
        }
    }
    const LocalTime t = LocalTimeOfFileTime(entry.time);
    return FormatText(L"%d\t%lld\t%ls\t%lld\t%04d-%02d-%02d %02d:%02d:%02d\t%ls", index,
                      static_cast<long long>(entry.id), EntryKindName(entry.kind).c_str(),
                      static_cast<long long>(entry.dataSize), t.year, t.month, t.day, t.hour,
                      t.minute, t.second, OneLineText(text, HISTORY_TEXT_CHARS).c_str());
}

std::wstring FormatProgressLine(int percent, const std::wstring& text) {
    if (!text.empty())
        return text;
    if (percent >= 0 && percent <= 100)
        return FormatText(L"%d%%", percent);
    return L"";
}

}  // namespace zovrel
