#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "settings/data_root.h"

namespace zovrel {

std::wstring GetExecutablePath() {
    // Grown until the whole path fits: a path cut at 260 characters would name another folder.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring PerUserDataBase() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return std::wstring();
    return std::wstring(buffer);
}

}  // namespace zovrel
