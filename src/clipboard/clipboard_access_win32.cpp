#include "clipboard/clipboard_access.h"

// After <windows.h>, which the header brings in.
#include <shellapi.h>

#include <cstring>
#include <cwchar>

#include "base/local_time.h"
#include "base/text.h"
#include "base/win32_handle.h"
#include "clipboard/dib.h"

namespace zovrel {

namespace {

constexpr int OPEN_ATTEMPTS = 8;
constexpr DWORD OPEN_RETRY_MS = 20;

UINT RegisteredFormat(const wchar_t* name) {
    return RegisterClipboardFormatW(name);
}

// A format registered under `name` is on the clipboard. Only its presence matters, so its data
// is never asked for.
bool FormatPresent(const wchar_t* name) {
    UINT format = RegisteredFormat(name);
    return format != 0 && IsClipboardFormatAvailable(format);
}

// A format that holds a DWORD 0 ("not allowed").
bool FormatHoldsZero(const wchar_t* name) {
    UINT format = RegisteredFormat(name);
    if (format == 0 || !IsClipboardFormatAvailable(format))
        return false;
    const GlobalLockScope block(GetClipboardData(format));
    if (!block.IsValid() || block.Size() < sizeof(DWORD))
        return false;
    DWORD value = 0;
    std::memcpy(&value, block.Get(), sizeof value);
    return value == 0;
}

// Text of a CF_UNICODETEXT block, up to its NUL but never past the block's end.
bool ReadUnicodeText(std::wstring& text) {
    const GlobalLockScope block(GetClipboardData(CF_UNICODETEXT));
    if (!block.IsValid())
        return false;
    const auto* chars = static_cast<const wchar_t*>(block.Get());
    text.assign(chars, wcsnlen(chars, block.Size() / sizeof(wchar_t)));
    return true;
}

// Text of a CF_TEXT block in the ANSI code page, bounded the same way.
bool ReadAnsiText(std::wstring& text) {
    const GlobalLockScope block(GetClipboardData(CF_TEXT));
    if (!block.IsValid())
        return false;
    const auto* chars = static_cast<const char*>(block.Get());
    const int length = static_cast<int>(strnlen(chars, block.Size()));
    text.clear();
    if (length == 0)
        return true;
    int wide = MultiByteToWideChar(CP_ACP, 0, chars, length, nullptr, 0);
    if (wide <= 0)
        return true;
    text.resize(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, chars, length, text.data(), wide);
    return true;
}

// The clipboard's text: Unicode when offered, else converted from the ANSI code page.
std::wstring ReadClipboardText() {
    std::wstring text;
    const bool unicode = IsClipboardFormatAvailable(CF_UNICODETEXT);
    if (!unicode && !IsClipboardFormatAvailable(CF_TEXT))
        return text;
    if (unicode && GetClipboardData(CF_UNICODETEXT) != nullptr) {
        ReadUnicodeText(text);
        return text;
    }
    if (IsClipboardFormatAvailable(CF_TEXT))
        ReadAnsiText(text);
    return text;
}

int64_t SizeOfFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

std::vector<std::wstring> ReadDroppedFiles() {
    std::vector<std::wstring> files;
    if (!IsClipboardFormatAvailable(CF_HDROP))
        return files;
    HANDLE handle = GetClipboardData(CF_HDROP);
    if (handle == nullptr)
        return files;
    {
        // The list walk below trusts the block; make sure it is terminated inside it.
        const GlobalLockScope block(handle);
        if (!IsWellFormedDropFiles(block.Get(), block.Size()))
            return files;
    }
    auto drop = static_cast<HDROP>(handle);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0)
            continue;
        std::wstring path(length + 1, L'\0');
        UINT got = DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(got < length ? got : length);
        if (!path.empty())
            files.push_back(std::move(path));
    }
    return files;
}

// CF_BITMAP as a bottom-up 32-bit DIB without a colour table.
bool DibOfBitmap(HBITMAP bitmap, Bytes& dib) {
    BITMAP info{};
    if (GetObjectW(bitmap, sizeof info, &info) == 0)
        return false;
    if (info.bmWidth <= 0 || info.bmHeight <= 0)
        return false;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    const WindowDC screen(nullptr);
    if (!screen.IsValid())
        return false;
    BITMAPINFOHEADER probe = header;
    GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(info.bmHeight), nullptr,
              reinterpret_cast<BITMAPINFO*>(&probe), DIB_RGB_COLORS);
    // The rows are always 32 bits wide here; never trust a smaller answer than that.
    const uint64_t rows = static_cast<uint64_t>(info.bmWidth) * 4 * info.bmHeight;
    uint64_t imageSize = probe.biSizeImage != 0 ? probe.biSizeImage : rows;
    if (imageSize < rows)
        imageSize = rows;
    bool ok = false;
    if (imageSize <= 0x7FFFFFFF) {
        dib.assign(sizeof header + imageSize, 0);
        std::memcpy(dib.data(), &header, sizeof header);
        ok = GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(info.bmHeight),
                       dib.data() + sizeof header, reinterpret_cast<BITMAPINFO*>(dib.data()),
                       DIB_RGB_COLORS) != 0;
    }
    if (!ok)
        dib.clear();
    return ok;
}

bool ReadImage(Bytes& dib) {
    if (IsClipboardFormatAvailable(CF_DIB)) {
        const GlobalLockScope block(GetClipboardData(CF_DIB));
        const size_t total = DibTotalSize(block.Get(), block.Size());
        if (total != 0) {
            const auto* bytes = static_cast<const uint8_t*>(block.Get());
            dib.assign(bytes, bytes + total);
            return true;
        }
    }
    if (IsClipboardFormatAvailable(CF_BITMAP)) {
        auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
        if (bitmap != nullptr && DibOfBitmap(bitmap, dib))
            return true;
    }
    return false;
}

// Reads the open clipboard into `entry`.
bool ReadOpenClipboard(ClipboardEntry& entry) {
    std::vector<std::wstring> files = ReadDroppedFiles();
    if (!files.empty()) {
        std::wstring text = ReadClipboardText();
        if (text.empty())
            text = FilesCaption(files);
        int64_t size = 0;
        for (const std::wstring& path : files)
            size += SizeOfFile(path);
        entry.kind = ENTRY_KIND_FILES;
        entry.files = std::move(files);
        entry.text = std::move(text);
        entry.dataSize = size;
        entry.time = FileTimeNow();
        return true;
    }
    Bytes dib;
    if (ReadImage(dib)) {
        entry.kind = ENTRY_KIND_IMAGE;
        entry.dataSize = static_cast<int64_t>(dib.size());
        entry.image = StoredImage(SharedBytes(std::move(dib)));
        entry.imageFileName = L"clipboard.dib";
        entry.text = L"[截图]";
        entry.time = FileTimeNow();
        return true;
    }
    std::wstring text = ReadClipboardText();
    if (text.empty())
        return false;
    entry.kind = ENTRY_KIND_TEXT;
    entry.dataSize = static_cast<int64_t>(ToUtf8(text).size());
    entry.text = std::move(text);
    entry.time = FileTimeNow();
    return true;
}

// Hands a movable copy of the bytes to the clipboard under `format`.
bool PutBlock(UINT format, const void* data, size_t size) {
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block.IsValid())
        return false;
    {
        const GlobalLockScope target(block.Get());
        if (!target.IsValid())
            return false;
        std::memcpy(target.Get(), data, size);
    }
    if (SetClipboardData(format, block.Get()) == nullptr)
        return false;
    block.Release();  // the clipboard owns the block now
    return true;
}

bool PutImage(const ClipboardEntry& entry, const Bytes& bytes) {
    std::wstring name = TrimText(entry.imageFileName);
    const bool dibName =
        name.size() >= 4 && EqualsIgnoreCase(name.substr(name.size() - 4), L".dib");
    if (dibName || IsDibHeader(bytes.data(), bytes.size())) {
        return PutBlock(CF_DIB, bytes.data(), bytes.size());
    }
    UINT format = RegisteredFormat(ImageClipboardFormatName(entry.imageFileName).c_str());
    if (format == 0)
        return false;
    return PutBlock(format, bytes.data(), bytes.size());
}

bool PutFiles(const std::vector<std::wstring>& files, bool checked) {
    const std::vector<std::wstring> existing = checked ? files : ExistingPaths(files);
    if (existing.empty())
        return false;
    Bytes block = BuildDropFilesBlock(existing);
    return PutBlock(CF_HDROP, block.data(), block.size());
}

bool PutText(const std::wstring& text) {
    if (text.empty())
        return false;
    return PutBlock(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

}  // namespace

ClipboardSession::ClipboardSession(HWND owner) {
    for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
        if (OpenClipboard(owner)) {
            open_ = true;
            return;
        }
        Sleep(OPEN_RETRY_MS);
    }
}

ClipboardSession::~ClipboardSession() {
    if (open_)
        CloseClipboard();
}

bool ClipboardIsMarkedPrivate() {
    return FormatPresent(VIEWER_IGNORE_FORMAT) || FormatPresent(EXCLUDE_FROM_MONITOR_FORMAT) ||
           FormatHoldsZero(CAN_INCLUDE_IN_HISTORY_FORMAT) ||
           FormatHoldsZero(CAN_UPLOAD_TO_CLOUD_FORMAT);
}

bool ReadClipboardEntry(HWND owner, ClipboardEntry& entry) {
    ClipboardSession session(owner);
    return session.IsOpen() && ReadOpenClipboard(entry);
}

ClipboardReadResult ReadClipboardEntryUnlessPrivate(HWND owner, ClipboardEntry& entry) {
    ClipboardSession session(owner);
    if (!session.IsOpen())
        return ClipboardReadResult::NOTHING;
    // Checked under the same opening as the read, so the marks belong to what would be read.
    if (ClipboardIsMarkedPrivate())
        return ClipboardReadResult::PRIVATE;
    return ReadOpenClipboard(entry) ? ClipboardReadResult::CONTENT : ClipboardReadResult::NOTHING;
}

std::vector<std::wstring> ExistingPaths(const std::vector<std::wstring>& files) {
    std::vector<std::wstring> existing;
    for (const std::wstring& path : files) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            existing.push_back(path);
    }
    return existing;
}

bool WriteEntryToClipboard(const ClipboardEntry& entry, HWND owner, bool filesChecked) {
    const bool image = entry.kind == ENTRY_KIND_IMAGE && !entry.image.Empty();
    SharedBytes bytes;
    // Read before the clipboard is emptied: an image file that is gone leaves it as it was.
    if (image && !entry.image.Read(bytes))
        return false;
    ClipboardSession session(owner);
    if (!session.IsOpen() || !EmptyClipboard())
        return false;
    if (image)
        return PutImage(entry, bytes);
    if (entry.kind == ENTRY_KIND_FILES && !entry.files.empty() &&
        PutFiles(entry.files, filesChecked)) {
        return true;
    }
    return PutText(entry.text);
}

}  // namespace zovrel
