#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

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

// Puts a temporary file's bytes on the disk before it is renamed. On Linux this writes and waits
// without committing the journal or flushing the disk cache for each file: the one folder flush
// after the renames does both, and a journaling file system never makes a rename durable ahead
// of data whose writing finished before it.
bool WriteOutBeforeRename(int fd) {
#ifdef __linux__
    constexpr unsigned WRITE_AND_WAIT =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    int result;
    do {
        result = sync_file_range(fd, 0, 0, WRITE_AND_WAIT);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
#endif
    return fsync(fd) == 0;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

template <typename Buffer>
FileRead ReadWholeFileInto(const std::wstring& path, size_t maxBytes, Buffer& out) {
    out.clear();
    Fd fd(open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT ? FileRead::MISSING : FileRead::FAILED;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return FileRead::FAILED;
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return FileRead::FAILED;
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n =
            read(fd.get(), reinterpret_cast<char*>(out.data()) + got, out.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FileRead::FAILED;
        if (n == 0)
            break;  // shrank while reading
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return FileRead::READ;
}

}  // namespace

FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string& out) {
    return ReadWholeFileInto(path, maxBytes, out);
}

FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes, Bytes& out) {
    return ReadWholeFileInto(path, maxBytes, out);
}

std::optional<FileStamp> StampOfFile(const std::wstring& path) {
    struct stat st {};
    if (stat(ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const uint64_t sinceEpoch = static_cast<uint64_t>(st.st_mtim.tv_sec) * 10000000u +
                                static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
    return FileStamp{static_cast<uint64_t>(st.st_size), 116444736000000000ull + sinceEpoch};
}

bool WriteFilesAtomically(std::vector<FileWrite>& files) {
    static std::atomic<unsigned> counter{0};
    std::vector<std::string> temps(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        FileWrite& f = files[i];
        f.written = false;
        const std::string target = ToUtf8(f.path);
        if (target.empty())
            continue;
        // Unique per process and call, so two writers never share a temporary file.
        const std::string temp = target + "." + std::to_string(getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            continue;
        if (WriteAll(fd.get(), static_cast<const char*>(f.data), f.size) &&
            WriteOutBeforeRename(fd.get()) && fd.Close())
            temps[i] = temp;
        else
            unlink(temp.c_str());
    }

    std::vector<std::string> folders;
    for (size_t i = 0; i < files.size(); ++i) {
        if (temps[i].empty())
            continue;
        const std::string target = ToUtf8(files[i].path);
        if (rename(temps[i].c_str(), target.c_str()) != 0) {
            unlink(temps[i].c_str());
            continue;
        }
        files[i].written = true;
        std::string folder = FolderOf(target);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }

    // One flush makes the renames and everything written ahead of them durable. A failure here
    // does not undo the (already visible) new contents.
    for (const auto& folder : folders) {
        Fd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() >= 0)
            fsync(fd.get());
    }
    for (const auto& f : files)
        if (!f.written)
            return false;
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
