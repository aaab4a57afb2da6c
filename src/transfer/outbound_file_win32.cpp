#include <windows.h>

#include "transfer/outbound_file.h"

namespace zovrel {

bool OutboundFile::Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

OutboundFile::~OutboundFile() {
    Close();
}

void OutboundFile::Close() {
    if (handle_ != nullptr)
        ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool OutboundFile::Open(const std::wstring& path) {
    Close();
    // Readers may share the file; writers may not while it is being sent.
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = h;
    return true;
}

bool OutboundFile::Length(uint64_t& length) {
    LARGE_INTEGER size{};
    if (handle_ == nullptr || !::GetFileSizeEx(static_cast<HANDLE>(handle_), &size) ||
        size.QuadPart < 0) {
        return false;
    }
    length = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool OutboundFile::ReadExactly(uint8_t* data, size_t count) {
    if (handle_ == nullptr)
        return false;
    size_t done = 0;
    while (done < count) {
        const size_t left = count - done;
        const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!::ReadFile(static_cast<HANDLE>(handle_), data + done, ask, &got, nullptr) ||
            got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

}  // namespace zovrel
