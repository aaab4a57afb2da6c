#include "base/paths.h"

#include "base/text.h"

namespace zovrel {

std::filesystem::path PathFromText(const std::wstring& text) {
#ifdef _WIN32
    return std::filesystem::path(text);
#else
    return std::filesystem::path(ToUtf8(text));
#endif
}

std::wstring TextFromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return FromUtf8(path.native());
#endif
}

}  // namespace zovrel
