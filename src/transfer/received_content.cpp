#include "transfer/received_content.h"

#include <cctype>
#include <climits>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "settings/log_file.h"

namespace zovrel {
namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxNameUnits = 255;  // what NTFS and most file systems allow per component

bool IsForbiddenNameChar(wchar_t c) {
    if (static_cast<uint32_t>(c) < 32)
        return true;
    switch (c) {
        case L':':
        case L'/':
        case L'\\':
        case L'|':
        case L'<':
        case L'>':
        case L'"':
        case L'?':
        case L'*':
            return true;
        default:
            return false;
    }
}

// Windows drops trailing dots and blanks when it opens a name, so "a.txt." would silently
// become another file; we drop them ourselves.
void StripTrailingDotsAndBlanks(std::wstring& name) {
    while (!name.empty() && (name.back() == L'.' || name.back() == L' '))
        name.pop_back();
}

// Names Windows maps to devices whatever the folder or extension ("nul.txt" is NUL).
bool IsDeviceName(std::wstring_view stem) {
    while (!stem.empty() && stem.back() == L' ')
        stem.remove_suffix(1);  // "NUL .txt" too
    static const wchar_t* const kNames[] = {L"CON",    L"PRN",    L"AUX",    L"NUL",
                                            L"CLOCK$", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* reserved : kNames) {
        if (EqualsIgnoreCase(stem, reserved))
            return true;
    }
    if (stem.size() == 4 && (EqualsIgnoreCase(stem.substr(0, 3), L"COM") ||
                             EqualsIgnoreCase(stem.substr(0, 3), L"LPT"))) {
        const wchar_t d = stem[3];
        return (d >= L'0' && d <= L'9') || d == 0x00B9 || d == 0x00B2 || d == 0x00B3;
    }
    return false;
}

// The longest prefix of `text` that fits in `units` UTF-16 units without splitting a pair.
std::wstring_view PrefixWithinUnits(std::wstring_view text, size_t units) {
    size_t used = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t take = 1;
        size_t cost = 1;
#if WCHAR_MAX > 0xFFFF
        if (static_cast<uint32_t>(text[i]) > 0xFFFF)
            cost = 2;
#else
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            take = 2;
            cost = 2;
        }
#endif
        if (used + cost > units)
            break;
        used += cost;
        i += take;
    }
    return text.substr(0, i);
}

// Cuts a too long name, keeping its extension when there is room for some of the stem.
std::wstring LimitNameLength(std::wstring name) {
    if (Utf16Length(name) <= kMaxNameUnits)
        return name;
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        const std::wstring_view ext = std::wstring_view(name).substr(dot);
        const size_t extUnits = Utf16Length(ext);
        if (extUnits < kMaxNameUnits) {
            std::wstring stem(PrefixWithinUnits(std::wstring_view(name).substr(0, dot),
                                                kMaxNameUnits - extUnits));
            StripTrailingDotsAndBlanks(stem);
            if (!stem.empty())
                return stem + std::wstring(ext);
        }
    }
    std::wstring cut(PrefixWithinUnits(name, kMaxNameUnits));
    StripTrailingDotsAndBlanks(cut);
    return cut;
}

// The last component after a backslash, or else after a slash.
std::wstring LastComponent(const std::wstring& text) {
    size_t cut = text.rfind(L'\\');
    if (cut == std::wstring::npos)
        cut = text.rfind(L'/');
    return cut == std::wstring::npos ? text : text.substr(cut + 1);
}

// Reads one "%d" the way sscanf does (leading blanks, a sign, digits), clamping instead of
// overflowing.
bool ScanInt(const std::string& s, size_t& pos, long long& value) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos])))
        ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        negative = s[pos++] == '-';
    const size_t digitsStart = pos;
    long long v = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        if (v < INT_MAX)
            v = v * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos == digitsStart)
        return false;
    value = negative ? -v : v;
    return true;
}

// "%d-%d-%d"; what follows the third number does not matter.
bool ScanDayFolderName(const std::string& name, int& year, int& month, int& day) {
    size_t pos = 0;
    long long y = 0, m = 0, d = 0;
    if (!ScanInt(name, pos, y) || pos >= name.size() || name[pos++] != '-')
        return false;
    if (!ScanInt(name, pos, m) || pos >= name.size() || name[pos++] != '-')
        return false;
    if (!ScanInt(name, pos, d))
        return false;
    if (y < 1970 || y > INT_MAX || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    year = static_cast<int>(y);
    month = static_cast<int>(m);
    day = static_cast<int>(d);
    return true;
}

bool IsRealFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

// Deletes as much of a folder as it can; links are removed, never followed.
void RemoveFolderTree(const fs::path& folder) {
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        children.push_back(it->path());
    }
    for (const fs::path& child : children) {
        if (IsRealFolder(child)) {
            RemoveFolderTree(child);
        } else {
            std::error_code ignored;
            fs::remove(child, ignored);
        }
    }
    std::error_code ignored;
    fs::remove(folder, ignored);
}

}  // namespace

std::wstring ReceivedDayFolderName(const LocalTime& day) {
    return FormatText(L"%04d-%02d-%02d", day.year, day.month, day.day);
}

std::wstring ReceivedDayFolder() {
    const std::wstring folder = TextFromPath(PathFromText(GetDataRoot()) / L"files" /
                                             PathFromText(ReceivedDayFolderName(LocalNow())));
    EnsureFolderExists(folder);
    return folder;
}

std::wstring SafeReceivedFileName(std::wstring_view name) {
    std::wstring safe(name);
    for (wchar_t& c : safe) {
        if (IsForbiddenNameChar(c))
            c = L'_';
    }
    StripTrailingDotsAndBlanks(safe);
    if (safe.empty())
        return safe;
    if (IsDeviceName(std::wstring_view(safe).substr(0, safe.find(L'.'))))
        safe.insert(0, L"_");
    return LimitNameLength(std::move(safe));
}

bool OpenReceivedFileForWriting(const std::wstring& name, int32_t size, std::wstring& path,
                                ReceivedFile& file) {
    file.Abort();
    path.clear();
    const std::wstring base = SafeReceivedFileName(LastComponent(TrimText(name)));
    if (base.empty() || size < 0)
        return false;

    const fs::path folder = PathFromText(ReceivedDayFolder());
    const fs::path target = folder / PathFromText(base);
    // The name is clean by now; this makes sure nothing else can lead outside today's folder.
    if (target.parent_path() != folder || target.filename() != PathFromText(base))
        return false;
    const std::wstring targetText = TextFromPath(target);

    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        fs::remove(target, ec);

    if (!file.CreateForWriting(targetText)) {
        AppendToLogFile(
            FormatText(L"OpenReceivedFileForWriting failed path=\"%ls\" size=%d err=%lu cause=%d",
                       targetText.c_str(), size, static_cast<unsigned long>(file.LastError()),
                       file.LastCause()));
        return false;
    }
    if (size > 0 && !file.SetLength(size)) {
        AppendToLogFile(
            FormatText(L"OpenReceivedFileForWriting SetLength failed path=\"%ls\" size=%d err=%lu",
                       targetText.c_str(), size, static_cast<unsigned long>(file.LastError())));
        file.Abort();
        fs::remove(target, ec);  // an empty stub would look like a received file
        return false;
    }
    AppendToLogFile(FormatText(L"OpenReceivedFileForWriting ok path=\"%ls\" size=%d",
                               targetText.c_str(), size));
    path = targetText;
    return true;
}

void DeleteReceivedFile(const std::wstring& path) {
    if (path.empty())
        return;
    std::error_code ec;
    fs::remove(PathFromText(path), ec);
}

void CleanupReceivedFolders(int days) {
    CleanupReceivedFoldersAt(days, static_cast<int64_t>(std::time(nullptr)));
}

void CleanupReceivedFoldersAt(int days, int64_t nowUnixSeconds) {
    const fs::path filesFolder = PathFromText(GetDataRoot()) / L"files";
    if (!IsRealFolder(filesFolder))
        return;
    const int64_t cutoff = nowUnixSeconds - static_cast<int64_t>(days) * 86400;

    std::vector<fs::path> expired;
    std::error_code ec;
    for (fs::directory_iterator it(filesFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!IsRealFolder(it->path()))
            continue;
        int year = 0, month = 0, day = 0;
        if (!ScanDayFolderName(ToUtf8(TextFromPath(it->path().filename())), year, month, day)) {
            continue;
        }
        std::tm midnight{};
        midnight.tm_year = year - 1900;
        midnight.tm_mon = month - 1;
        midnight.tm_mday = day;
        midnight.tm_isdst = -1;
        const std::time_t t = std::mktime(&midnight);
        if (t == static_cast<std::time_t>(-1))
            continue;
        if (static_cast<int64_t>(t) < cutoff)
            expired.push_back(it->path());
    }
    for (const fs::path& folder : expired)
        RemoveFolderTree(folder);
}

void AfterReceivedFile(const std::wstring& savedPath) {
    if (!savedPath.empty())
        CleanupReceivedFolders(7);
}

std::wstring SaveReceivedImage(const Bytes& bytes, const std::wstring& name) {
    if (bytes.empty())
        return {};
    const fs::path folder = PathFromText(GetDataRoot()) / L"clipboard_images";
    if (!EnsureFolderExists(TextFromPath(folder)))
        return {};

    std::wstring cleaned = TrimText(name);
    for (wchar_t& c : cleaned) {
        if (c == L'\\')
            c = L'/';
    }
    const size_t slash = cleaned.rfind(L'/');
    if (slash != std::wstring::npos)
        cleaned.erase(0, slash + 1);
    cleaned = SafeReceivedFileName(cleaned);
    if (cleaned.empty())
        cleaned = L"image.bin";

    const long long stamp = static_cast<long long>(std::time(nullptr)) * 1000;
    const std::wstring component = LimitNameLength(FormatText(L"%lld_%ls", stamp, cleaned.c_str()));
    const fs::path target = folder / PathFromText(component);
    const std::wstring targetText = TextFromPath(target);

    ReceivedFile file;
    if (!file.CreateForWriting(targetText))
        return {};
    if (!file.WriteAt(0, bytes.data(), bytes.size()) || !file.Close()) {
        file.Abort();
        std::error_code ec;
        fs::remove(target, ec);  // a cut-off image is worse than none
        return {};
    }
    return targetText;
}

bool BuildEntryFromReceived(const ReceivedContent& content, ClipboardEntry& entry) {
    entry = ClipboardEntry{};
    entry.time = FileTimeNow();
    switch (content.dataType) {
        case DATA_TYPE_TEXT:
            entry.kind = ENTRY_KIND_TEXT;
            entry.text =
                FromUtf8(content.data.data(), static_cast<std::ptrdiff_t>(content.data.size()));
            entry.dataSize = static_cast<int64_t>(content.data.size());
            return !entry.text.empty() || !content.data.empty();
        case DATA_TYPE_IMAGE: {
            entry.kind = ENTRY_KIND_IMAGE;
            entry.imageBytes = content.data;
            // The name later names history files too, so it gets the same cleaning.
            std::wstring imageName = SafeReceivedFileName(FileNameOfPath(content.name));
            if (imageName.empty())
                imageName = L"image.bin";
            entry.imageFileName = imageName;
            SaveReceivedImage(content.data, imageName);
            entry.text = imageName;
            entry.dataSize = static_cast<int64_t>(content.data.size());
            return !content.data.empty();
        }
        case DATA_TYPE_FILE:
            entry.kind = ENTRY_KIND_FILES;
            entry.files = {content.savedPath};
            entry.text = content.savedPath;
            entry.dataSize = content.declaredSize;
            return !content.savedPath.empty();
        default:
            entry = ClipboardEntry{};
            return false;
    }
}

}  // namespace zovrel
