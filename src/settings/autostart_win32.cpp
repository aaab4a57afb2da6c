#include <windows.h>

#include "base/win32_handle.h"
#include "settings/autostart.h"
#include "settings/data_root.h"

namespace zovrel {
namespace {

constexpr wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t RUN_VALUE_NAME[] = L"zovrel";

}  // namespace

bool SetAutostartFor(bool enable, const std::wstring& executablePath) {
    HKEY opened = nullptr;
    if (enable) {
        if (executablePath.empty())
            return false;
        // Created when missing: a fresh profile may not have the Run key yet.
        if (RegCreateKeyExW(HKEY_CURRENT_USER, RUN_KEY, 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const UniqueRegKey key(opened);
        const std::wstring command = QuoteIfContainsSpace(executablePath);
        // The byte count includes the terminating NUL, so it is stored with the text.
        const DWORD bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
        return RegSetValueExW(key.Get(), RUN_VALUE_NAME, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(command.c_str()),
                              bytes) == ERROR_SUCCESS;
    }
    const LSTATUS status =
        RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;  // no Run key: nothing is registered
    if (status != ERROR_SUCCESS)
        return false;
    const UniqueRegKey key(opened);
    const LSTATUS deleted = RegDeleteValueW(key.Get(), RUN_VALUE_NAME);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool SetAutostart(bool enable) {
    return SetAutostartFor(enable, GetExecutablePath());
}

}  // namespace zovrel
