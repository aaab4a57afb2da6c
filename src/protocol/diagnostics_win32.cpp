#include <windows.h>

#include <climits>

#include "protocol/diagnostics.h"

namespace zovrel {

// The device's echo text is shown the way Windows shows narrow text: in the ANSI code page.
std::wstring DecodeNarrowText(const uint8_t* data, size_t count) {
    if (data == nullptr || count == 0 || count > INT_MAX)
        return std::wstring();
    const char* text = reinterpret_cast<const char*>(data);
    const int n = static_cast<int>(count);
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
    if (wide <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(wide), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, n, out.data(), wide) != wide)
        return std::wstring();
    return out;
}

}  // namespace zovrel
