#pragma once

// What the tests of both builds share: a temporary folder, file bytes, history entries and
// packed DIBs as the clipboard gives them.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/paths.h"
#include "base/text.h"
#include "clipboard/clipboard_entry.h"
#include "settings/data_root.h"

namespace zovrel::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "zovrel-test") : path_(MakePath(prefix)) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::wstring Text() const { return TextFromPath(path_); }
    std::wstring File(const std::wstring& name) const { return JoinPath(Text(), name); }

  private:
    static std::filesystem::path MakePath(const std::string& prefix) {
        static std::atomic<int> count{0};
        return std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(std::random_device{}()) + "-" +
                std::to_string(count++));
    }
    std::filesystem::path path_;
};

inline bool FileExists(const std::wstring& path) {
    return std::filesystem::exists(PathFromText(path));
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline std::string ReadFileBytes(const std::wstring& path) {
    return ReadFileBytes(PathFromText(path));
}

inline void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline void WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    WriteFileBytes(PathFromText(path), bytes);
}

// Entries as capture makes them: the size is that of the content (a files entry's is given).
// The default time is 2024-03-04 04:26 UTC, which the list shows as a date.
constexpr uint64_t ENTRY_TIME = 133540000000000000ull;

inline ClipboardEntry TextEntry(const std::wstring& text, uint64_t time = ENTRY_TIME) {
    ClipboardEntry e;
    e.text = text;
    e.time = time;
    e.dataSize = static_cast<int64_t>(ToUtf8(text).size());
    return e;
}

inline ClipboardEntry ImageEntry(Bytes bytes, const std::wstring& name = L"image.png",
                                 uint64_t time = ENTRY_TIME) {
    ClipboardEntry e = TextEntry(L"[截图]", time);
    e.kind = ENTRY_KIND_IMAGE;
    e.dataSize = static_cast<int64_t>(bytes.size());
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

inline ClipboardEntry FilesEntry(std::vector<std::wstring> files, int64_t size = 0,
                                 uint64_t time = ENTRY_TIME) {
    ClipboardEntry e = TextEntry(L"文件", time);
    e.kind = ENTRY_KIND_FILES;
    e.dataSize = size;
    e.files = std::move(files);
    return e;
}

// The fields of a BITMAPINFOHEADER (as laid out in memory) a test sets; the rest are 0.
struct DibHeader {
    uint32_t size = 40;
    int32_t width = 2, height = 2;
    uint16_t planes = 1, bitCount = 32;
    uint32_t compression = 0, imageSize = 0, xPerMetre = 0, yPerMetre = 0, coloursUsed = 0,
             important = 0;
};
static_assert(sizeof(DibHeader) == 40);

// A packed DIB: the header (its `size` bytes, zero past the 40 it sets), then `tail` (colour
// table or masks, then pixels), as CF_DIB holds it.
inline Bytes PackedDib(const DibHeader& header, const Bytes& tail = {}) {
    Bytes bytes(std::max<size_t>(header.size, sizeof header) + tail.size(), 0);
    std::memcpy(bytes.data(), &header, sizeof header);
    std::copy(tail.begin(), tail.end(), bytes.end() - static_cast<ptrdiff_t>(tail.size()));
    return bytes;
}

// The same with 32-bit words (colour table or masks) before the pixel bytes.
inline Bytes PackedDib(const DibHeader& header, const std::vector<uint32_t>& table,
                       const Bytes& pixels) {
    Bytes tail(table.size() * 4);
    std::memcpy(tail.data(), table.data(), tail.size());
    tail.insert(tail.end(), pixels.begin(), pixels.end());
    return PackedDib(header, tail);
}

}  // namespace zovrel::test
