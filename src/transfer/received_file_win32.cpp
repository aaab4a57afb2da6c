#include "transfer/received_file.h"

#include "base/win32_handle.h"

namespace zovrel {

struct ReceivedFile::Handle {
    UniqueHandle file;
};

namespace {

constexpr DWORD LARGEST_PIECE = 0x40000000u;  // one ReadFile or WriteFile moves at most 1 GiB

}  // namespace

ReceivedFile::ReceivedFile() = default;

ReceivedFile::~ReceivedFile() {
    Abort();
}

bool ReceivedFile::Open(const std::wstring& path, bool write, unsigned long disposition) {
    Abort();
    const DWORD access = write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    UniqueHandle h(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.IsValid()) {
        lastError_ = ::GetLastError();
        return false;
    }
    handle_ = std::make_unique<Handle>(Handle{std::move(h)});
    return true;
}

bool ReceivedFile::CreateForWriting(const std::wstring& path) {
    return Open(path, true, CREATE_ALWAYS);
}

bool ReceivedFile::CreateNew(const std::wstring& path) {
    return Open(path, true, CREATE_NEW);
}

bool ReceivedFile::OpenForReading(const std::wstring& path) {
    return Open(path, false, OPEN_EXISTING);
}

bool ReceivedFile::NameTaken() const {
    return lastError_ == ERROR_FILE_EXISTS || lastError_ == ERROR_ALREADY_EXISTS;
}

bool ReceivedFile::IsOpen() const {
    return handle_ != nullptr;
}

bool ReceivedFile::SetLength(int64_t length) {
    if (!handle_) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!SeekTo(length))
        return false;
    if (!::SetEndOfFile(handle_->file.Get())) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

bool ReceivedFile::SeekTo(int64_t offset) {
    LARGE_INTEGER pos;
    pos.QuadPart = offset;
    if (!::SetFilePointerEx(handle_->file.Get(), pos, nullptr, FILE_BEGIN)) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

bool ReceivedFile::WriteAt(int64_t offset, const uint8_t* data, size_t count) {
    if (!handle_) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!SeekTo(offset))
        return false;
    while (count > 0) {
        const DWORD piece = count > LARGEST_PIECE ? LARGEST_PIECE : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!::WriteFile(handle_->file.Get(), data, piece, &written, nullptr) || written == 0) {
            lastError_ = ::GetLastError();
            return false;
        }
        data += written;
        count -= written;
    }
    return true;
}

bool ReceivedFile::ReadAt(int64_t offset, uint8_t* data, size_t count, size_t& got) {
    got = 0;
    if (!handle_) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!SeekTo(offset))
        return false;
    while (got < count) {
        const size_t want = count - got;
        const DWORD piece = want > LARGEST_PIECE ? LARGEST_PIECE : static_cast<DWORD>(want);
        DWORD read = 0;
        if (!::ReadFile(handle_->file.Get(), data + got, piece, &read, nullptr)) {
            lastError_ = ::GetLastError();
            return false;
        }
        if (read == 0)
            break;
        got += read;
    }
    return true;
}

bool ReceivedFile::Flush() {
    if (!handle_) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!::FlushFileBuffers(handle_->file.Get())) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

bool ReceivedFile::Close() {
    if (!handle_)
        return true;
    // Closed here rather than by the wrapper, so that a failing close is reported.
    const BOOL ok = ::CloseHandle(handle_->file.Release());
    handle_.reset();
    if (!ok) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

void ReceivedFile::Abort() {
    handle_.reset();
}

int ReceivedFile::LastCause() const {
    switch (lastError_) {
        case 0:
            return 0;
        case ERROR_FILE_NOT_FOUND:
            return 2;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_DRIVE:
            return 3;
        case ERROR_TOO_MANY_OPEN_FILES:
            return 4;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return 5;
        case ERROR_CANNOT_MAKE:
            return 8;
        case ERROR_SHARING_VIOLATION:
            return 11;
        case ERROR_LOCK_VIOLATION:
            return 12;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return 13;
        default:
            return 1;
    }
}

MoveResult MoveReceivedFile(const std::wstring& from, const std::wstring& to,
                            ExistingFile existing) {
    const DWORD flags = existing == ExistingFile::REPLACE ? MOVEFILE_REPLACE_EXISTING : 0;
    if (::MoveFileExW(from.c_str(), to.c_str(), flags))
        return MoveResult::MOVED;
    const DWORD error = ::GetLastError();
    if (existing == ExistingFile::KEEP &&
        (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
        return MoveResult::NAME_TAKEN;
    return MoveResult::FAILED;
}

}  // namespace zovrel
