#pragma once

// The About dialog's texts and rules: the version shown, the two links and how a link is opened.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zovrel::ui {

// Where users report faults and meet other users (reserved example domain until the project has
// real ones).
inline constexpr wchar_t SUPPORT_EMAIL[] = L"support@zovrel.example";
inline constexpr wchar_t COMMUNITY_LINK[] = L"https://community.zovrel.example";

inline constexpr wchar_t ABOUT_TITLE[] = L"关于 zovrel";
inline constexpr wchar_t FALLBACK_VERSION[] = L"1.0.0";

// "版本 " followed by the version.
std::wstring VersionLine(std::wstring_view version);

// The version a version file's bytes give: the first line (UTF-8, a byte-order mark skipped),
// trimmed, without a leading "v" or "V". Empty when the line is.
std::wstring VersionFromFileText(std::string_view bytes);

// Reads a file's leading bytes (enough for the first line); nothing when it cannot be opened.
using ReadFileStart = std::function<std::optional<std::string>(const std::wstring& path)>;

// The version of the program at `executablePath` (a Windows path): the "version" file beside it,
// else the one in its parent folder, else "1.0.0". An empty first line counts as no version.
std::wstring ReadVersionFor(const std::wstring& executablePath, const ReadFileStart& read);

// What the shell is asked to open for a link text: an address (an "@" and no "://") gets
// "mailto:" in front unless it starts with it; everything else is opened as it is. Empty for an
// empty text.
std::wstring LinkTarget(std::wstring_view text);

}  // namespace zovrel::ui
