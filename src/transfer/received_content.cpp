#include "transfer/received_content.h"

#include <cctype>
#include <chrono>
#include <climits>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "settings/log_file.h"

namespace zovrel {
namespace fs = std::filesystem;

namespace {

constexpr size_t MAX_NAME_UNITS = 255;  // what NTFS and most file systems allow per component
// Marks a file still being received; nothing else in a day folder may end like this.
constexpr std::wstring_view PART_SUFFIX = L".zovrel-part";
constexpr int MAX_NAME_COUNTER = 9999;
// Renaming a finished file is tried this often, this far apart: well within the 2 s the device
// waits for its answer.
constexpr int KEEP_ATTEMPTS = 3;
constexpr int KEEP_RETRY_MS = 100;

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
    static const wchar_t* const DEVICE_NAMES[] = {L"CON",    L"PRN",    L"AUX",    L"NUL",
                                                  L"CLOCK$", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* reserved : DEVICE_NAMES) {
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
    if (Utf16Length(name) <= MAX_NAME_UNITS)
        return name;
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        const std::wstring_view ext = std::wstring_view(name).substr(dot);
        const size_t extUnits = Utf16Length(ext);
        if (extUnits < MAX_NAME_UNITS) {
            std::wstring stem(PrefixWithinUnits(std::wstring_view(name).substr(0, dot),
                                                MAX_NAME_UNITS - extUnits));
            StripTrailingDotsAndBlanks(stem);
            if (!stem.empty())
                return stem + std::wstring(ext);
        }
    }
    std::wstring cut(PrefixWithinUnits(name, MAX_NAME_UNITS));
    StripTrailingDotsAndBlanks(cut);
    return cut;
}

bool EndsWithPartSuffix(std::wstring_view name) {
    return name.size() >= PART_SUFFIX.size() &&
           EqualsIgnoreCase(name.substr(name.size() - PART_SUFFIX.size()), PART_SUFFIX);
}

std::wstring PartFileName(std::wstring_view name) {
    return std::wstring(PrefixWithinUnits(name, MAX_NAME_UNITS - PART_SUFFIX.size())) +
           std::wstring(PART_SUFFIX);
}

// Files a crash left behind while they were being received; they can never be finished.
void RemovePartialFiles(const fs::path& folder) {
    std::vector<fs::path> partial;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EndsWithPartSuffix(TextFromPath(it->path().filename())) &&
            fs::is_regular_file(fs::symlink_status(it->path(), ec)))
            partial.push_back(it->path());
    }
    for (const fs::path& file : partial)
        fs::remove(file, ec);
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

// One try at KeepReceivedFile; FAILED when the file could not be renamed at all.
MoveResult TryToKeep(const ReceivedFilePaths& paths, std::wstring& kept) {
    kept = paths.path;
    const MoveResult replaced = MoveReceivedFile(paths.partPath, kept, ExistingFile::REPLACE);
    if (replaced == MoveResult::MOVED)
        return replaced;
    // The older file stays where it is (most likely another program holds it open); the new
    // one, which has passed its checksum, is kept beside it.
    const fs::path target = PathFromText(paths.path);
    const std::wstring name = TextFromPath(target.filename());
    for (int counter = 1; counter <= MAX_NAME_COUNTER; ++counter) {
        kept = TextFromPath(target.parent_path() / PathFromText(NameWithCounter(name, counter)));
        const MoveResult moved = MoveReceivedFile(paths.partPath, kept, ExistingFile::KEEP);
        if (moved != MoveResult::NAME_TAKEN)
            return moved;
    }
    return MoveResult::FAILED;
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
    // Removed, not replaced: the name must read in the order it is stored.
    std::wstring safe = RemoveBidiControls(name);
    for (wchar_t& c : safe) {
        if (IsForbiddenNameChar(c))
            c = L'_';
    }
    StripTrailingDotsAndBlanks(safe);
    if (safe.empty())
        return safe;
    if (IsDeviceName(std::wstring_view(safe).substr(0, safe.find(L'.'))))
        safe.insert(0, L"_");
    safe = LimitNameLength(std::move(safe));
    // Partial files are removed when found; a received file must never look like one.
    if (EndsWithPartSuffix(safe))
        safe[safe.size() - PART_SUFFIX.size()] = L'_';
    return safe;
}

std::wstring NameWithCounter(std::wstring_view name, int counter) {
    const size_t dot = name.rfind(L'.');
    const bool hasExtension = dot != std::wstring_view::npos && dot > 0;
    const std::wstring_view stem = hasExtension ? name.substr(0, dot) : name;
    const std::wstring_view extension = hasExtension ? name.substr(dot) : std::wstring_view();
    const std::wstring tail = FormatText(L" (%d)", counter) + std::wstring(extension);
    const size_t tailUnits = Utf16Length(tail);
    if (tailUnits >= MAX_NAME_UNITS)
        return std::wstring(name);  // no room to count in; the caller's next try fails alike
    return std::wstring(PrefixWithinUnits(stem, MAX_NAME_UNITS - tailUnits)) + tail;
}

bool OpenReceivedFileForWriting(const std::wstring& name, int32_t size, ReceivedFilePaths& paths,
                                ReceivedFile& file) {
    file.Abort();
    paths = ReceivedFilePaths{};
    if (name.empty() || size < 0)
        return false;

    const fs::path folder = PathFromText(ReceivedDayFolder());
    const fs::path target = folder / PathFromText(name);
    // The name is clean already; this makes sure nothing can lead outside today's folder.
    if (name == L"." || name == L".." || target.parent_path() != folder ||
        target.filename() != PathFromText(name))
        return false;
    const std::wstring targetText = TextFromPath(target);
    const fs::path part = folder / PathFromText(PartFileName(name));

    RemovePartialFiles(folder);
    if (!file.CreateForWriting(TextFromPath(part))) {
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
        std::error_code ec;
        fs::remove(part, ec);
        return false;
    }
    AppendToLogFile(FormatText(L"OpenReceivedFileForWriting ok path=\"%ls\" size=%d",
                               targetText.c_str(), size));
    paths = ReceivedFilePaths{targetText, TextFromPath(part)};
    return true;
}

std::wstring KeepReceivedFile(const ReceivedFilePaths& paths) {
    if (paths.path.empty() || paths.partPath.empty())
        return {};
    // A scanner or indexer may hold the file just closed for a moment; that passes.
    for (int attempt = 1;; ++attempt) {
        std::wstring kept;
        if (TryToKeep(paths, kept) == MoveResult::MOVED)
            return kept;
        if (attempt == KEEP_ATTEMPTS)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(KEEP_RETRY_MS));
    }
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
    std::vector<fs::path> kept;
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
        (static_cast<int64_t>(t) < cutoff ? expired : kept).push_back(it->path());
    }
    for (const fs::path& folder : expired)
        RemoveFolderTree(folder);
    for (const fs::path& folder : kept)
        RemovePartialFiles(folder);
}

void AfterReceivedFile(const std::wstring& savedPath) {
    if (!savedPath.empty())
        CleanupReceivedFolders(7);
}

std::wstring SaveReceivedImage(const Bytes& bytes, const std::wstring& name) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return SaveReceivedImageAt(bytes, name,
                               std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::wstring SaveReceivedImageAt(const Bytes& bytes, const std::wstring& name,
                                 int64_t nowUnixMilliseconds) {
    if (bytes.empty())
        return {};
    const fs::path folder = PathFromText(GetDataRoot()) / L"clipboard_images";
    if (!EnsureFolderExists(TextFromPath(folder)))
        return {};

    std::wstring cleaned = SafeReceivedFileName(name);
    if (cleaned.empty())
        cleaned = L"image.bin";
    const std::wstring component = LimitNameLength(
        FormatText(L"%lld_%ls", static_cast<long long>(nowUnixMilliseconds), cleaned.c_str()));

    ReceivedFile file;
    fs::path target = folder / PathFromText(component);
    for (int counter = 1; !file.CreateNew(TextFromPath(target)); ++counter) {
        if (!file.NameTaken() || counter > MAX_NAME_COUNTER)
            return {};
        target = folder / PathFromText(NameWithCounter(component, counter));
    }
    if (!file.WriteAt(0, bytes.data(), bytes.size()) || !file.Close()) {
        file.Abort();
        std::error_code ec;
        fs::remove(target, ec);  // a cut-off image is worse than none
        return {};
    }
    return TextFromPath(target);
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
            entry.image = StoredImage(SharedBytes(content.data));
            // The device's own name, which a later send announces again; only the copy on disk
            // needs a clean one.
            std::wstring imageName = FileNameOfPath(content.name);
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
