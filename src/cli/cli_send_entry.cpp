#include "cli/cli_send_entry.h"

#include <utility>

#include "base/local_time.h"
#include "base/text.h"
#include "cli/cli_console.h"
#include "protocol/message_bodies.h"
#include "settings/file_io.h"

namespace zovrel {

bool BuildSendEntry(const CliArguments& arguments, ClipboardEntry& entry, std::wstring& error) {
    entry = ClipboardEntry{};
    entry.time = FileTimeNow();
    switch (arguments.source) {
        case SendSource::TEXT:
            entry.kind = ENTRY_KIND_TEXT;
            entry.text = arguments.sendValue;
            entry.dataSize = static_cast<int64_t>(ToUtf8(entry.text).size());
            return true;
        case SendSource::FILE:
            // The engine reads each file itself and names its transfer after the path.
            entry.kind = ENTRY_KIND_FILES;
            for (const std::wstring& file : arguments.files)
                entry.files.push_back(AbsolutePath(file));
            return true;
        case SendSource::IMAGE: {
            const std::wstring path = AbsolutePath(arguments.sendValue);
            Bytes bytes;
            // One byte over the limit is read so that an oversized image is refused as too
            // large by the engine rather than as unreadable.
            switch (ReadWholeFile(path, MAX_IMAGE_PAYLOAD + 1, bytes)) {
                case FileRead::MISSING:
                    error = FormatText(L"文件不存在: %ls", path.c_str());
                    return false;
                case FileRead::FAILED:
                    error = L"无法读取文件";
                    return false;
                case FileRead::READ:
                    break;
            }
            entry.kind = ENTRY_KIND_IMAGE;
            entry.dataSize = static_cast<int64_t>(bytes.size());
            entry.image = StoredImage(SharedBytes(std::move(bytes)));
            entry.imageFileName = FileNameOfPath(path);
            return true;
        }
        default:
            error = L"nothing to send";
            return false;
    }
}

}  // namespace zovrel
