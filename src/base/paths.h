#pragma once

#include <filesystem>
#include <string>

namespace zovrel {

// Paths are kept as wide text like every other text. std::filesystem::path built from a wide
// string goes through the C locale on Linux, so there we always go through UTF-8 instead.
std::filesystem::path PathFromText(const std::wstring& text);
std::wstring TextFromPath(const std::filesystem::path& path);

}  // namespace zovrel
