#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zovrel {

// A regular file opened for reading while other writers are kept out (where the platform can),
// so what is sent is what was there when the send began.
class OutboundFile {
  public:
    OutboundFile();
    ~OutboundFile();
    OutboundFile(const OutboundFile&) = delete;
    OutboundFile& operator=(const OutboundFile&) = delete;

    // True when the path's attributes can be read (it names something that exists).
    static bool Exists(const std::wstring& path);
    // True when the path names a folder.
    static bool IsFolder(const std::wstring& path);

    bool Open(const std::wstring& path);
    bool Length(uint64_t& length);
    // Fills exactly `count` bytes; false on an error or when the file ends early.
    bool ReadExactly(uint8_t* data, size_t count);
    // Back to the first byte, for a second pass over the same open file.
    bool Rewind();

  private:
    void Close();
#ifdef _WIN32
    struct Handle;  // the open file, kept out of this header so it needs no <windows.h>
    std::unique_ptr<Handle> handle_;
#else
    int fd_ = -1;
#endif
};

}  // namespace zovrel
