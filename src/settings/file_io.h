#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace zovrel {

enum class FileRead { READ, MISSING, FAILED };

// Reads a whole regular file. A file larger than `maxBytes`, a folder or a file that cannot be
// opened is FAILED; MISSING only when nothing of that name exists.
FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string& out);
FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes, Bytes& out);

// What tells one version of a file from another without reading it.
struct FileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0;  // last write, UTC, 100 ns units since 1601
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// Nothing for a missing file or a folder.
std::optional<FileStamp> StampOfFile(const std::wstring& path);

// Replaces the file's content as one step: the bytes go to a temporary file in the same folder,
// are flushed to disk and then renamed over the old file, so a crash leaves either the old or the
// new content, never a torn mix. False (old file untouched) when any step fails.
inline bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size);
inline bool WriteFileAtomically(const std::wstring& path, std::string_view bytes) {
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}
inline bool WriteFileAtomically(const std::wstring& path, const Bytes& bytes) {
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

// One file for WriteFilesAtomically; `data` must stay valid during the call.
struct FileWrite {
    std::wstring path;
    const void* data = nullptr;
    size_t size = 0;
    bool written = false;  // set by the call: the file now holds `data`
};

// Replaces several files, each like WriteFileAtomically but with far fewer waits for the disk
// than one call per file (on Linux, one flush for the whole batch): all new contents are written
// and flushed first, then renamed over their files in list order, so whoever finds a later file
// replaced (after a crash or a power loss) finds every earlier one replaced too. A file that
// fails keeps its old content and the rest go ahead. True when every file was replaced.
bool WriteFilesAtomically(std::vector<FileWrite>& files);

inline bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size) {
    std::vector<FileWrite> one{FileWrite{path, data, size}};
    return WriteFilesAtomically(one);
}

// Appends to a file (created when missing) that is open only for this one call, with other
// writers kept out meanwhile; `header` is written first when the file is empty.
bool AppendToFile(const std::wstring& path, std::string_view header, std::string_view bytes);

}  // namespace zovrel
