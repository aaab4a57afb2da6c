#include "transfer/outbound_payload.h"

#include <memory>

#include "base/text.h"
#include "protocol/message_bodies.h"
#include "transfer/outbound_file.h"

namespace zovrel {

namespace {

constexpr wchar_t EMPTY_CONTENT[] = L"空内容";
constexpr wchar_t PATH_MISSING[] = L"文件路径缺失";
constexpr wchar_t CANNOT_READ[] = L"无法读取文件";
// The history's file of an image was removed or changed after it was listed.
constexpr wchar_t IMAGE_FILE_LOST[] = L"图片文件已丢失";
constexpr wchar_t TOO_LARGE[] = L"传输内容超过允许大小";
constexpr wchar_t UNSUPPORTED_KIND[] = L"不支持的内容类型";

bool Fail(std::wstring& error, std::wstring text) {
    error = std::move(text);
    return false;
}

bool PrepareFile(const std::wstring& rawPath, OutboundPayload& payload, std::wstring& error) {
    const std::wstring path = TrimText(rawPath);
    if (path.empty())
        return Fail(error, PATH_MISSING);
    if (!OutboundFile::Exists(path))
        return Fail(error, FormatText(L"文件不存在: %ls", path.c_str()));

    auto file = std::make_unique<OutboundFile>();
    uint64_t length = 0;
    if (!file->Open(path) || !file->Length(length))
        return Fail(error, CANNOT_READ);
    if (length == 0)
        return Fail(error, EMPTY_CONTENT);
    // Refused before reading: a file this large could not be announced correctly anyway.
    if (!CheckPayloadSize(DATA_TYPE_FILE, length, error))
        return false;

    std::wstring name = FileNameOfPath(path);
    if (name.empty())
        return Fail(error, PATH_MISSING);
    payload.dataType = DATA_TYPE_FILE;
    payload.fileName = std::move(name);
    payload.stream = std::make_unique<FilePayloadSource>(std::move(file), length);
    return true;
}

}  // namespace

bool CheckPayloadSize(uint16_t dataType, uint64_t count, std::wstring& error) {
    const auto limit = MaxPayloadForType(dataType);
    const bool withinType = !limit || count <= *limit;
    const bool withinProtocol = count <= MAX_TRANSFER_TOTAL - DESCRIPTOR_SIZE;
    if (withinType && withinProtocol)
        return true;
    return Fail(error, TOO_LARGE);
}

bool PrepareOutboundFile(const std::wstring& path, OutboundPayload& payload, std::wstring& error) {
    error.clear();
    payload = OutboundPayload{};
    return PrepareFile(path, payload, error);
}

bool PrepareOutboundPayload(const ClipboardEntry& entry, OutboundPayload& payload,
                            std::wstring& error) {
    error.clear();
    payload = OutboundPayload{};

    switch (entry.kind) {
        case ENTRY_KIND_TEXT: {
            if (entry.text.empty())
                return Fail(error, EMPTY_CONTENT);
            const std::string utf8 = ToUtf8(entry.text);
            payload.dataType = DATA_TYPE_TEXT;
            payload.bytes.assign(utf8.begin(), utf8.end());
            return CheckPayloadSize(DATA_TYPE_TEXT, payload.bytes.size(), error);
        }
        case ENTRY_KIND_IMAGE: {
            if (entry.image.Empty())
                return Fail(error, EMPTY_CONTENT);
            // Checked before the read, so a huge file is never read only to be refused.
            if (!CheckPayloadSize(DATA_TYPE_IMAGE, entry.image.Size(), error))
                return false;
            SharedBytes bytes;
            if (!entry.image.Read(bytes))
                return Fail(error, IMAGE_FILE_LOST);
            payload.dataType = DATA_TYPE_IMAGE;
            payload.bytes = bytes;
            payload.fileName = FileNameOfPath(entry.imageFileName);
            if (payload.fileName.empty())
                payload.fileName = L"image.bin";
            return CheckPayloadSize(DATA_TYPE_IMAGE, payload.bytes.size(), error);
        }
        case ENTRY_KIND_FILES:
            return PrepareFile(entry.files.empty() ? entry.text : entry.files.front(), payload,
                               error);
        default:
            return Fail(error, UNSUPPORTED_KIND);
    }
}

}  // namespace zovrel
