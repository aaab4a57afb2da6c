#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "base/paths.h"
#include "clipboard/clipboard_entry.h"
#include "settings/data_root.h"

namespace zovrel::test {

// A fresh folder, removed with everything in it when the test ends.
class TempFolder {
  public:
    TempFolder() { std::filesystem::create_directories(path_); }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::wstring Text() const { return TextFromPath(path_); }
    std::wstring File(const std::wstring& name) const { return JoinPath(Text(), name); }

  private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("zovrel-test-" + std::to_string(std::random_device{}()));
};

inline bool FileExists(const std::wstring& path) {
    return std::filesystem::exists(PathFromText(path));
}

inline std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(PathFromText(path), std::ios::binary | std::ios::trunc) << bytes;
}

inline ClipboardEntry TextEntry(const std::wstring& text, uint64_t time = 1000) {
    ClipboardEntry e;
    e.text = text;
    e.time = time;
    return e;
}

inline ClipboardEntry ImageEntry(Bytes bytes, const std::wstring& name) {
    ClipboardEntry e = TextEntry(L"[截图]");
    e.kind = ENTRY_KIND_IMAGE;
    e.image = StoredImage(SharedBytes(std::move(bytes)));
    e.imageFileName = name;
    return e;
}

// The entry's image bytes as read now; nothing when they cannot be read.
inline std::optional<Bytes> ImageBytesOf(const ClipboardEntry& e) {
    SharedBytes bytes;
    if (!e.image.Read(bytes))
        return std::nullopt;
    return bytes.Get();
}

inline ClipboardEntry FilesEntry(std::vector<std::wstring> files) {
    ClipboardEntry e = TextEntry(L"文件");
    e.kind = ENTRY_KIND_FILES;
    e.files = std::move(files);
    return e;
}

}  // namespace zovrel::test
