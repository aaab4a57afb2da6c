#include "ui/about_text.h"

#include "base/text.h"

namespace zovrel::ui {

std::wstring VersionLine(std::wstring_view version) {
    return L"版本 " + std::wstring(version);
}

std::wstring VersionFromFileText(std::string_view bytes) {
    constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
    if (bytes.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK) {
        bytes.remove_prefix(BYTE_ORDER_MARK.size());
    }
    const size_t end = bytes.find('\n');
    std::wstring version = TrimText(FromUtf8(bytes.substr(0, end)));
    if (!version.empty() && (version[0] == L'v' || version[0] == L'V')) {
        version.erase(0, 1);
    }
    return version;
}

std::wstring ReadVersionFor(const std::wstring& executablePath, const ReadFileStart& read) {
    const size_t slash = executablePath.rfind(L'\\');
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : executablePath.substr(0, slash + 1);
    for (const wchar_t* name : {L"version", L"..\\version"}) {
        if (const std::optional<std::string> bytes = read(folder + name)) {
            std::wstring version = VersionFromFileText(*bytes);
            if (!version.empty()) {
                return version;
            }
        }
    }
    return FALLBACK_VERSION;
}

std::wstring LinkTarget(std::wstring_view text) {
    // A text that is already an address link is not given a second "mailto:".
    const bool isMailLink = EqualsIgnoreCase(text.substr(0, 7), L"mailto:");
    if (!isMailLink && text.find(L'@') != std::wstring_view::npos &&
        text.find(L"://") == std::wstring_view::npos) {
        return L"mailto:" + std::wstring(text);
    }
    return std::wstring(text);
}

}  // namespace zovrel::ui
