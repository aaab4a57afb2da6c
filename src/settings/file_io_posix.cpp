#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/text.h"
#include "settings/file_io.h"

namespace zovrel {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string& out) {
    out.clear();
    Fd fd(open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT ? FileRead::kMissing : FileRead::kFailed;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return FileRead::kFailed;
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return FileRead::kFailed;
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = read(fd.get(), out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FileRead::kFailed;
        if (n == 0)
            break;  // shrank while reading
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return FileRead::kRead;
}

bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size) {
    static std::atomic<unsigned> counter{0};
    const std::string target = ToUtf8(path);
    if (target.empty())
        return false;
    // Unique per process and call, so two writers never share a temporary file.
    const std::string temp = target + "." + std::to_string(getpid()) + "-" +
                             std::to_string(counter.fetch_add(1)) + ".tmp";
    Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return false;
    const bool written = WriteAll(fd.get(), static_cast<const char*>(data), size) &&
                         fsync(fd.get()) == 0 && fd.Close();
    if (!written || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; failure here does not undo the (already visible) write.
    Fd folder(open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        fsync(folder.get());
    return true;
}

bool AppendToFile(const std::wstring& path, std::string_view header, std::string_view bytes) {
    Fd fd(open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return false;
    // Another process (the command-line tool) may append to the same file.
    while (flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::string all;
    if (st.st_size == 0)
        all.append(header);
    all.append(bytes);
    return WriteAll(fd.get(), all.data(), all.size());
}

}  // namespace zovrel
