#pragma once

#include <cstdint>
#include <string>

#include "base/shared_bytes.h"
#include "settings/file_io.h"

namespace zovrel {

// An entry's image: bytes held in memory (fresh from the clipboard or the device, until the
// history has written them) or a file of the history that holds them. The bytes of a file are
// read only by whoever needs them, and only through Read, which can fail: the file may have
// gone or changed since it was recorded. A size of 0 is no image.
class StoredImage {
  public:
    StoredImage() = default;
    explicit StoredImage(SharedBytes bytes) : bytes_(std::move(bytes)), size_(bytes_.size()) {}
    // The file at `path`, recorded with the size and write time it has now.
    static StoredImage InFile(std::wstring path, const FileStamp& stamp);

    bool Empty() const { return size_ == 0; }
    uint64_t Size() const { return size_; }
    bool IsFile() const { return !path_.empty(); }
    const std::wstring& Path() const { return path_; }         // empty when in memory
    uint64_t WriteTime() const { return writeTime_; }          // as recorded; 0 when in memory
    const SharedBytes& MemoryBytes() const { return bytes_; }  // empty for a file

    // The whole image or false. A file is opened for this read alone, sharing read, write and
    // delete with others, and must still hold exactly the recorded size (a shorter or longer
    // file is another image, or a torn one).
    bool Read(SharedBytes& out) const;

  private:
    SharedBytes bytes_;
    uint64_t size_ = 0;
    std::wstring path_;
    uint64_t writeTime_ = 0;
};

}  // namespace zovrel
