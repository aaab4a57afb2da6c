#pragma once

// The saved port as the serial link asks for it: on every 50 ms pass of its reader. Reading the
// settings file each time costs as much as the rest of the idle program together, so while the
// link is open the value is read again only when the file changed (its size or time stamp);
// while it is closed (reconnect attempts), always afresh.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace zovrel::ui {

// What tells a changed file from an unchanged one; none when the file is missing.
struct FileStamp {
    uint64_t size = 0;
    int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a file by path (size and last write time, in one cheap call); none when it
// cannot be read. Windows only (saved_port_reader_win32.cpp).
std::optional<FileStamp> StampOfFile(const std::wstring& path);

class SavedPortReader {
  public:
    // `read` gives the saved port (ReadUartComPort in the program); `stamp` the settings
    // file's current stamp.
    SavedPortReader(std::function<std::wstring()> read,
                    std::function<std::optional<FileStamp>()> stamp);

    // The saved port: read afresh when `fresh`, when nothing was read yet, or when the stamp
    // differs from the one of the last read; otherwise the value of the last read. Any thread.
    std::wstring Read(bool fresh);

  private:
    std::function<std::wstring()> read_;
    std::function<std::optional<FileStamp>()> stamp_;
    std::mutex lock_;
    bool valid_ = false;
    std::optional<FileStamp> lastStamp_;
    std::wstring lastValue_;
};

}  // namespace zovrel::ui
