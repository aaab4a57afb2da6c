#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "settings/data_root.h"

namespace zovrel {

std::wstring GetExecutablePath() {
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::wstring();
        if (static_cast<size_t>(n) < buffer.size())
            return FromUtf8(buffer.data(), n);
        if (buffer.size() >= 65536)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring PerUserDataBase() {
    // XDG: a relative XDG_DATA_HOME is invalid and must be ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return FromUtf8(std::string(xdg));
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return FromUtf8(std::string(home) + "/.local/share");
    return std::wstring();
}

}  // namespace zovrel
