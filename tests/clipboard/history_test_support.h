#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/paths.h"
#include "clipboard/clipboard_entry.h"
#include "settings/data_root.h"

namespace zovrel::test {

// A fresh, empty folder that is removed with everything in it when the test ends.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("zovrel-history-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring Text() const { return TextFromPath(path_); }
    std::wstring File(const std::wstring& name) const { return JoinPath(Text(), name); }

  private:
    std::filesystem::path path_;
};

inline bool FileExists(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::exists(PathFromText(path), ec);
}

inline std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(PathFromText(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline ClipboardEntry TextEntry(const std::wstring& text, uint64_t time = 1000) {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_TEXT;
    e.text = text;
    e.dataSize = static_cast<int64_t>(text.size());
    e.time = time;
    return e;
}

inline ClipboardEntry ImageEntry(Bytes bytes, const std::wstring& name, uint64_t time = 1000) {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_IMAGE;
    e.text = L"[截图]";
    e.imageFileName = name;
    e.dataSize = static_cast<int64_t>(bytes.size());
    e.imageBytes = std::move(bytes);
    e.time = time;
    return e;
}

inline ClipboardEntry FilesEntry(std::vector<std::wstring> files, uint64_t time = 1000) {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_FILES;
    e.text = L"2 个文件";
    e.files = std::move(files);
    e.dataSize = 0;
    e.time = time;
    return e;
}

}  // namespace zovrel::test
