#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/text.h"
#include "transfer/outbound_file.h"

namespace zovrel {

bool OutboundFile::Exists(const std::wstring& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0;
}

bool OutboundFile::IsFolder(const std::wstring& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

OutboundFile::OutboundFile() = default;

OutboundFile::~OutboundFile() {
    Close();
}

void OutboundFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool OutboundFile::Open(const std::wstring& path) {
    Close();
    // Non-blocking so that a named pipe without a writer is refused below rather than waited on
    // for ever; reads of a regular file are not affected.
    int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    // A directory opens fine here but is no file to send.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool OutboundFile::Length(uint64_t& length) {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0)
        return false;
    length = static_cast<uint64_t>(st.st_size);
    return true;
}

bool OutboundFile::ReadExactly(uint8_t* data, size_t count) {
    if (fd_ < 0)
        return false;
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, data + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool OutboundFile::Rewind() {
    return fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
}

}  // namespace zovrel
