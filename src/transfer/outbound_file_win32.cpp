#include <windows.h>

#include "base/win32_handle.h"
#include "transfer/outbound_file.h"

namespace zovrel {

struct OutboundFile::Handle {
    UniqueHandle file;
};

bool OutboundFile::Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool OutboundFile::IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

OutboundFile::OutboundFile() : handle_(std::make_unique<Handle>()) {}

OutboundFile::~OutboundFile() = default;

void OutboundFile::Close() {
    handle_->file.Reset();
}

bool OutboundFile::Open(const std::wstring& path) {
    // Readers may share the file; writers may not while it is being sent.
    handle_->file.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return handle_->file.IsValid();
}

bool OutboundFile::Length(uint64_t& length) {
    LARGE_INTEGER size{};
    if (!handle_->file.IsValid() || !::GetFileSizeEx(handle_->file.Get(), &size) ||
        size.QuadPart < 0) {
        return false;
    }
    length = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool OutboundFile::ReadExactly(uint8_t* data, size_t count) {
    if (!handle_->file.IsValid())
        return false;
    size_t done = 0;
    while (done < count) {
        const size_t left = count - done;
        const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!::ReadFile(handle_->file.Get(), data + done, ask, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

bool OutboundFile::Rewind() {
    LARGE_INTEGER start{};
    return handle_->file.IsValid() &&
           ::SetFilePointerEx(handle_->file.Get(), start, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace zovrel
