#include "clipboard/clipboard_access.h"

#include <cstdint>
#include <cstring>

#include "base/text.h"

namespace zovrel {

namespace {

constexpr uint32_t DROP_FILES_HEADER_SIZE = 20;

void AppendLe16(Bytes& out, uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
}

void AppendLe32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Wide text is UTF-32 in the native build; the block always holds UTF-16.
void AppendUtf16(Bytes& out, std::wstring_view text) {
    for (wchar_t c : text) {
        auto cp = static_cast<uint32_t>(c);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            AppendLe16(out, 0xD800 + (cp >> 10));
            AppendLe16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendLe16(out, cp & 0xFFFF);
        }
    }
}

}  // namespace

std::wstring ImageClipboardFormatName(std::wstring_view imageFileName) {
    std::wstring name = TrimText(imageFileName);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    std::wstring ext = dot == std::wstring::npos ? std::wstring() : ToLowerAscii(name.substr(dot));
    if (ext == L".png")
        return L"PNG";
    if (ext == L".jpg" || ext == L".jpeg")
        return L"JFIF";
    if (ext == L".gif")
        return L"GIF";
    return L"Zovrel.Image";
}

Bytes BuildDropFilesBlock(const std::vector<std::wstring>& paths) {
    Bytes block;
    AppendLe32(block, DROP_FILES_HEADER_SIZE);  // offset of the file list
    AppendLe32(block, 0);                       // drop point x
    AppendLe32(block, 0);                       // drop point y
    AppendLe32(block, 0);                       // not in the non-client area
    AppendLe32(block, 1);                       // wide characters
    for (const std::wstring& path : paths) {
        AppendUtf16(block, path);
        AppendLe16(block, 0);
    }
    AppendLe16(block, 0);
    return block;
}

std::wstring FilesCaption(const std::vector<std::wstring>& files) {
    return files.size() == 1 ? files.front()
                             : FormatText(L"%d 个文件", static_cast<int>(files.size()));
}

bool IsWellFormedDropFiles(const void* block, size_t size) {
    if (block == nullptr || size < DROP_FILES_HEADER_SIZE)
        return false;
    const auto* p = static_cast<const uint8_t*>(block);
    uint32_t offset = 0;
    uint32_t wide = 0;
    std::memcpy(&offset, p, 4);
    std::memcpy(&wide, p + 16, 4);
    if (offset < DROP_FILES_HEADER_SIZE || offset >= size)
        return false;
    const size_t unit = wide != 0 ? 2 : 1;
    // The list ends with an empty name: a NUL right after another NUL (or at its very start).
    bool previousWasNul = false;
    bool first = true;
    for (size_t at = offset; at + unit <= size; at += unit) {
        bool nul = p[at] == 0 && (unit == 1 || p[at + 1] == 0);
        if (nul && (previousWasNul || first))
            return true;
        previousWasNul = nul;
        first = false;
    }
    return false;
}

}  // namespace zovrel
