#include <windows.h>

#include "ui/saved_port_reader.h"

namespace zovrel::ui {

std::optional<FileStamp> StampOfFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return FileStamp{
        (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
        static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime)};
}

}  // namespace zovrel::ui
