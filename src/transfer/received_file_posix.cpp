#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

#include "base/paths.h"
#include "transfer/received_file.h"

namespace zovrel {

ReceivedFile::ReceivedFile() = default;

ReceivedFile::~ReceivedFile() {
    Abort();
}

bool ReceivedFile::CreateForWriting(const std::wstring& path) {
    Abort();
    fd_ = ::open(PathFromText(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool ReceivedFile::CreateNew(const std::wstring& path) {
    Abort();
    fd_ = ::open(PathFromText(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool ReceivedFile::NameTaken() const {
    return lastError_ == EEXIST;
}

bool ReceivedFile::OpenForReading(const std::wstring& path) {
    Abort();
    fd_ = ::open(PathFromText(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool ReceivedFile::IsOpen() const {
    return fd_ >= 0;
}

bool ReceivedFile::SetLength(int64_t length) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool ReceivedFile::WriteAt(int64_t offset, const uint8_t* data, size_t count) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    while (count > 0) {
        const ssize_t n = ::pwrite(fd_, data, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastError_ = static_cast<uint32_t>(errno);
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool ReceivedFile::ReadAt(int64_t offset, uint8_t* data, size_t count, size_t& got) {
    got = 0;
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    while (got < count) {
        const ssize_t n = ::pread(fd_, data + got, count - got, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastError_ = static_cast<uint32_t>(errno);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool ReceivedFile::Flush() {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    // Unbuffered writes are already visible to readers; this puts them on the disk.
    if (::fdatasync(fd_) != 0 && errno != EINVAL) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

bool ReceivedFile::Close() {
    if (fd_ < 0)
        return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    return true;
}

void ReceivedFile::Abort() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int ReceivedFile::LastCause() const {
    switch (lastError_) {
        case 0:
            return 0;
        case ENOENT:
            return 2;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
            return 3;
        case EMFILE:
        case ENFILE:
            return 4;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return 5;
        case ETXTBSY:
            return 11;
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            return 13;
        default:
            return 1;
    }
}

MoveResult MoveReceivedFile(const std::wstring& from, const std::wstring& to,
                            ExistingFile existing) {
    const std::string source = PathFromText(from).string();
    const std::string target = PathFromText(to).string();
    if (existing == ExistingFile::REPLACE)
        return ::rename(source.c_str(), target.c_str()) == 0 ? MoveResult::MOVED
                                                             : MoveResult::FAILED;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return MoveResult::MOVED;
    if (errno == EEXIST)
        return MoveResult::NAME_TAKEN;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return MoveResult::FAILED;
    // A file system that cannot rename without replacing: a second link fails on a taken name.
    if (::link(source.c_str(), target.c_str()) != 0)
        return errno == EEXIST ? MoveResult::NAME_TAKEN : MoveResult::FAILED;
    ::unlink(source.c_str());
    return MoveResult::MOVED;
}

}  // namespace zovrel
