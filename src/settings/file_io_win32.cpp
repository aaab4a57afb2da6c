#include <windows.h>

#include <atomic>
#include <vector>

#include "base/win32_handle.h"
#include "settings/file_io.h"

namespace zovrel {
namespace {

bool WriteAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

template <typename Buffer>
FileRead ReadWholeFileInto(const std::wstring& path, size_t maxBytes, Buffer& out) {
    out.clear();
    UniqueHandle h(CreateFileW(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.IsValid()) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? FileRead::MISSING
                                                                                : FileRead::FAILED;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return FileRead::FAILED;
    out.resize(static_cast<size_t>(size.QuadPart));
    size_t got = 0;
    while (got < out.size()) {
        const size_t want = out.size() - got;
        const DWORD chunk = want > (1u << 30) ? (1u << 30) : static_cast<DWORD>(want);
        DWORD n = 0;
        if (!ReadFile(h.Get(), reinterpret_cast<char*>(out.data()) + got, chunk, &n, nullptr))
            return FileRead::FAILED;
        if (n == 0)
            break;  // shrank while reading
        got += n;
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
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return FileStamp{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                     (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime};
}

bool WriteFilesAtomically(std::vector<FileWrite>& files) {
    static std::atomic<unsigned> counter{0};
    std::vector<std::wstring> temps(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        FileWrite& f = files[i];
        f.written = false;
        if (f.path.empty())
            continue;
        // Unique per process and call, so two writers never share a temporary file.
        const std::wstring temp = f.path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(counter.fetch_add(1)) + L".tmp";
        UniqueHandle h(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.IsValid())
            continue;
        // Closed here, not by the wrapper: a failed close may mean the bytes never arrived.
        if (WriteAll(h.Get(), static_cast<const char*>(f.data), f.size) &&
            FlushFileBuffers(h.Get()) && CloseHandle(h.Release())) {
            temps[i] = temp;
        } else {
            h.Reset();  // a file still open here (shared with no one) could not be deleted
            DeleteFileW(temp.c_str());
        }
    }
    // Each move is on the disk before the next one starts.
    for (size_t i = 0; i < files.size(); ++i) {
        if (temps[i].empty())
            continue;
        if (MoveFileExW(temps[i].c_str(), files[i].path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            files[i].written = true;
        else
            DeleteFileW(temps[i].c_str());
    }
    for (const auto& f : files)
        if (!f.written)
            return false;
    return true;
}

bool AppendToFile(const std::wstring& path, std::string_view header, std::string_view bytes) {
    HANDLE raw = INVALID_HANDLE_VALUE;
    // Other writers are refused while the file is open; another process holding it for one line
    // is given a moment instead of losing this line at once.
    for (int attempt = 0; attempt < 20; ++attempt) {
        raw = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(1);
    }
    UniqueHandle h(raw);
    if (!h.IsValid())
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size))
        return false;
    std::string all;
    if (size.QuadPart == 0)
        all.append(header);
    all.append(bytes);
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h.Get(), zero, nullptr, FILE_END))
        return false;
    return WriteAll(h.Get(), all.data(), all.size());
}

}  // namespace zovrel
