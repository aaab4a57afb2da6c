#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "settings/autostart.h"
#include "settings/data_root.h"
#include "settings/file_io.h"

namespace zovrel {
namespace {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart; empty when neither is known.
std::wstring AutostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return FromUtf8(std::string(config) + "/autostart");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return FromUtf8(std::string(home) + "/.config/autostart");
    return std::wstring();
}

// The Exec= value: the path bare, or in double quotes when it contains a blank or another
// character the desktop-entry command line treats specially, escaped as that format needs
// (a backslash is escaped twice: once for the quotes, once for the string value).
std::wstring ExecValue(const std::wstring& path) {
    const bool quote = path.find_first_of(L" \t\"'\\><~|&;$*?#()`") != std::wstring::npos;
    std::wstring out = quote ? L"\"" : L"";
    for (wchar_t c : path) {
        if (c == L'%') {
            out += L"%%";
        } else if (quote && c == L'\\') {
            out += L"\\\\\\\\";
        } else if (quote && (c == L'"' || c == L'`' || c == L'$')) {
            out += L"\\\\";
            out += c;
        } else {
            out += c;
        }
    }
    if (quote)
        out += L'"';
    return out;
}

}  // namespace

bool SetAutostartFor(bool enable, const std::wstring& executablePath) {
    const std::wstring folder = AutostartFolder();
    if (folder.empty())
        return false;
    const std::wstring entry = JoinPath(folder, L"zovrel.desktop");
    if (!enable) {
        std::error_code ec;
        std::filesystem::remove(PathFromText(entry), ec);  // absent counts as done
        return !ec;
    }
    // A line break in the path would end the Exec line and let the rest pass for other keys.
    if (executablePath.empty() || executablePath.find_first_of(L"\r\n") != std::wstring::npos)
        return false;
    if (!EnsureFolderExists(folder))
        return false;
    const std::wstring text = L"[Desktop Entry]\nType=Application\nName=zovrel\nExec=" +
                              ExecValue(executablePath) + L"\nTerminal=false\n";
    return WriteFileAtomically(entry, ToUtf8(text));
}

bool SetAutostart(bool enable) {
    return SetAutostartFor(enable, GetExecutablePath());
}

}  // namespace zovrel
