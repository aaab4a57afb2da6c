#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zovrel {

// A raw, unbuffered file handle for received content: create with a reserved length, write at
// an offset, read back for the checksum. Writes go straight to the system so memory use does not
// grow with the file. Every failing call returns false and keeps the system's error code.
class ReceivedFile {
  public:
    ReceivedFile();
    ~ReceivedFile();
    ReceivedFile(const ReceivedFile&) = delete;
    ReceivedFile& operator=(const ReceivedFile&) = delete;

    // Read and write, created or truncated; others may still read and write it.
    bool CreateForWriting(const std::wstring& path);
    // The same, but only when no file of that name exists yet (NameTaken() tells when one did).
    bool CreateNew(const std::wstring& path);
    // Read only; others may read and write it meanwhile.
    bool OpenForReading(const std::wstring& path);

    bool IsOpen() const;
    bool SetLength(int64_t length);
    bool WriteAt(int64_t offset, const uint8_t* data, size_t count);
    // Reads up to `count` bytes; `got` < count only at the end of the file.
    bool ReadAt(int64_t offset, uint8_t* data, size_t count, size_t& got);
    bool Flush();
    // Flushes nothing; a failing close is reported.
    bool Close();
    // Closes, ignoring every error.
    void Abort();

    // System error code of the last failing call (errno or GetLastError).
    uint32_t LastError() const { return lastError_; }
    // The last failing call failed because the name was already taken.
    bool NameTaken() const;
    // The same error as a cause number: 0 none, 1 generic, 2 file not found, 3 bad path,
    // 4 too many open files, 5 access denied, 8 directory full, 11 sharing violation,
    // 12 lock violation, 13 disk full.
    int LastCause() const;

  private:
#ifdef _WIN32
    bool Open(const std::wstring& path, bool write, unsigned long disposition);
    bool SeekTo(int64_t offset);
    struct Handle;  // the open file, kept out of this header so it needs no <windows.h>
    std::unique_ptr<Handle> handle_;
#else
    int fd_ = -1;
#endif
    uint32_t lastError_ = 0;
};

// What MoveReceivedFile does when the new name is already taken.
enum class ExistingFile {
    REPLACE,  // replace that file, if the system lets us
    KEEP,     // leave it alone and answer NAME_TAKEN
};
enum class MoveResult { MOVED, NAME_TAKEN, FAILED };

// Renames a closed file within its folder, in one step: no moment without either name.
MoveResult MoveReceivedFile(const std::wstring& from, const std::wstring& to,
                            ExistingFile existing);

}  // namespace zovrel
