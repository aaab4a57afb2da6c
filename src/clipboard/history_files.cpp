#include "clipboard/history_files.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/pin_rules.h"
#include "settings/data_root.h"
#include "settings/file_io.h"
#include "settings/profile.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t INDEX_NAME[] = L"index.ini";
constexpr wchar_t META_SECTION[] = L"Meta";
constexpr wchar_t ENTRY_SECTION[] = L"Entry";
constexpr size_t MAX_VALUE_CHARS = 4095;
constexpr wchar_t FINGERPRINT_KEY[] = L"Fingerprint";
constexpr wchar_t FINGERPRINT_GUARD_KEY[] = L"FingerprintGuard";
// Present (as 1) only on a pinned entry, so an unpinned entry's file is what older versions wrote.
constexpr wchar_t PINNED_KEY[] = L"Pinned";
// Longer than any real image extension; a longer one could make the file name too long to write.
constexpr size_t MAX_IMAGE_EXTENSION_CHARS = 16;
// A temporary file younger than this may still belong to a save in progress elsewhere.
constexpr auto STALE_TEMPORARY_AGE = std::chrono::seconds(60);

std::optional<uint64_t> RegularFileSize(const std::wstring& path) {
    std::error_code ec;
    const fs::path p = PathFromText(path);
    if (!fs::is_regular_file(p, ec))
        return std::nullopt;
    const uintmax_t size = fs::file_size(p, ec);
    if (ec)
        return std::nullopt;
    return static_cast<uint64_t>(size);
}

bool Exists(const std::wstring& path) {
    std::error_code ec;
    return fs::exists(PathFromText(path), ec);
}

void RemoveFile(const std::wstring& path) {
    std::error_code ec;
    fs::remove(PathFromText(path), ec);
}

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// One file an entry's content needs on disk, or one that must not be there.
struct PlannedFile {
    std::wstring extension;
    bool present = false;
    std::string text;  // content when it is made here
    const void* data = nullptr;
    size_t size = 0;
};

std::vector<PlannedFile> PlanContentFiles(const ClipboardEntry& e, KeptEntryFiles kept) {
    std::vector<PlannedFile> plan;
    const auto add = [&](std::wstring ext, bool present) -> PlannedFile& {
        plan.push_back(PlannedFile{std::move(ext), present, {}, nullptr, 0});
        return plan.back();
    };

    if (!kept.text) {
        PlannedFile& text = add(L".txt", e.kind == ENTRY_KIND_TEXT || !e.text.empty());
        if (text.present)
            text.text = ToUtf8(e.text);
    }

    // Only bytes in memory are written. An image kept in a file is never rewritten or removed
    // by a save (it could only be read back from that very file), and an entry without an image
    // leaves alone any file it could not use: a save must not delete what a load skipped.
    const SharedBytes& memory = e.image.MemoryBytes();
    if (e.kind == ENTRY_KIND_IMAGE && !e.image.IsFile() && !memory.empty()) {
        const std::wstring imageExt = HistoryImageExtension(e.imageFileName);
        PlannedFile& image = add(imageExt, true);
        image.data = memory.data();
        image.size = memory.size();
        if (imageExt != L".png")
            add(L".png", false);
        if (imageExt != L".img")
            add(L".img", false);
    }

    if (!kept.files) {
        PlannedFile& files = add(L".files", e.kind == ENTRY_KIND_FILES && !e.files.empty());
        if (files.present) {
            std::wstring joined;
            for (size_t i = 0; i < e.files.size(); ++i) {
                if (i > 0)
                    joined += L'\n';
                joined += e.files[i];
            }
            files.text = ToUtf8(joined);
        }
    }
    for (auto& f : plan) {
        if (f.present && f.data == nullptr) {
            f.data = f.text.data();
            f.size = f.text.size();
        }
    }
    return plan;
}

// "<image file name>|<size>|<write time>|<hash of the rest>": what a stored fingerprint was
// computed from. Empty for an entry whose image is not in a file.
std::wstring FingerprintGuard(const ClipboardEntry& e) {
    if (!e.image.IsFile())
        return {};
    return TextFromPath(PathFromText(e.image.Path()).filename()) + L"|" +
           std::to_wstring(e.image.Size()) + L"|" + std::to_wstring(e.image.WriteTime()) + L"|" +
           ComputeContentHashWithoutImage(e);
}

}  // namespace

// Trusted only when it was computed from this very file and the rest of this entry; otherwise
// unknown until someone needs it.
void TakeStoredFingerprint(StoredEntry& stored) {
    if (stored.storedFingerprint.empty())
        return;
    if (stored.fingerprint.empty() && stored.storedGuard == FingerprintGuard(stored.entry))
        stored.fingerprint = std::move(stored.storedFingerprint);
    stored.storedFingerprint.clear();
    stored.storedGuard.clear();
}

namespace {

std::string MetaBytes(ProfileDocument doc, const ClipboardEntry& e,
                      const std::wstring& fingerprint) {
    doc.Set(ENTRY_SECTION, L"Kind", std::to_wstring(static_cast<int>(e.kind)));
    doc.Set(ENTRY_SECTION, L"DataSize", std::to_wstring(e.dataSize));
    doc.Set(ENTRY_SECTION, L"TimeHigh", std::to_wstring(static_cast<uint32_t>(e.time >> 32)));
    doc.Set(ENTRY_SECTION, L"TimeLow", std::to_wstring(static_cast<uint32_t>(e.time)));
    doc.Set(ENTRY_SECTION, L"ImageFileName", e.imageFileName);
    // Only an image's fingerprint is worth keeping: any other is as quick to compute as to check.
    if (e.image.IsFile() && !fingerprint.empty()) {
        doc.Set(ENTRY_SECTION, FINGERPRINT_KEY, fingerprint);
        doc.Set(ENTRY_SECTION, FINGERPRINT_GUARD_KEY, FingerprintGuard(e));
    } else {
        doc.Remove(ENTRY_SECTION, FINGERPRINT_KEY);
        doc.Remove(ENTRY_SECTION, FINGERPRINT_GUARD_KEY);
    }
    if (e.pinned)
        doc.Set(ENTRY_SECTION, PINNED_KEY, L"1");
    else
        doc.Remove(ENTRY_SECTION, PINNED_KEY);
    return doc.ToBytes();
}

// A name that WriteFileAtomically gives its temporary files: target + ".<pid>-<n>.tmp", where
// the target is "index.ini" or an entry file (always with a dot of its own).
bool IsTemporaryFileName(const std::wstring& name) {
    constexpr std::wstring_view SUFFIX = L".tmp";
    if (name.size() <= SUFFIX.size() || !name.ends_with(SUFFIX))
        return false;
    const std::wstring_view rest = std::wstring_view(name).substr(0, name.size() - SUFFIX.size());
    const size_t dot = rest.rfind(L'.');
    if (dot == std::wstring_view::npos)
        return false;
    const std::wstring_view tag = rest.substr(dot + 1);
    const size_t dash = tag.find(L'-');
    if (dash == 0 || dash == std::wstring_view::npos || dash + 1 == tag.size())
        return false;
    for (size_t i = 0; i < tag.size(); ++i)
        if (i != dash && !(tag[i] >= L'0' && tag[i] <= L'9'))
            return false;
    return rest.substr(0, dot).find(L'.') != std::wstring_view::npos;
}

}  // namespace

int64_t TakeNextEntryId(HistoryState& state, bool& wrapped) {
    const auto inUse = [&state](int64_t id) {
        for (const auto& s : state.entries)
            if (s.entry.id == id)
                return true;
        return false;
    };
    wrapped = false;
    int64_t id = state.nextId;
    do {
        if (id < 0 || id >= MAX_ENTRY_ID) {
            id = 0;
            wrapped = true;
        }
        ++id;
    } while (inUse(id));  // at most MAX_HISTORY_ENTRIES ids are in use
    state.nextId = id;
    return id;
}

std::wstring GetHistoryFolder() {
    return JoinPath(GetDataRoot(), L"history");
}

std::wstring HistoryImageExtension(const std::wstring& imageFileName) {
    const std::wstring name = TrimText(imageFileName);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == name.size())
        return L".img";
    const std::wstring_view ext = std::wstring_view(name).substr(dot + 1);
    // The name can come from the device: anything but a short plain extension could reach
    // outside the folder or fail to write, and the entry's own file names must stay its own.
    if (ext.size() > MAX_IMAGE_EXTENSION_CHARS)
        return L".img";
    for (wchar_t c : ext)
        if (!IsAsciiAlnum(c))
            return L".img";
    const std::wstring lower = ToLowerAscii(name.substr(dot));
    if (lower == L".meta" || lower == L".txt" || lower == L".files")
        return L".img";
    return lower;
}

HistoryFiles::HistoryFiles(std::wstring folder) : folder_(std::move(folder)) {}

std::wstring HistoryFiles::IndexPath() const {
    return JoinPath(folder_, INDEX_NAME);
}

std::wstring HistoryFiles::EntryPath(int64_t id, std::wstring_view extension) const {
    std::wstring name = std::to_wstring(id);
    name += extension;
    return JoinPath(folder_, name);
}

bool HistoryFiles::LoadHistoryFiles(HistoryState& state) {
    state = HistoryState();
    onDisk_.clear();
    if (!EnsureFolderExists(folder_))
        return false;
    state.nextId = TidyFolder();
    const std::wstring indexPath = IndexPath();
    if (!Exists(indexPath))
        return false;
    ProfileDocument index;
    if (!LoadProfile(indexPath, index))
        return false;

    const int64_t storedNextId =
        ParseLeadingInt64(index.GetString(META_SECTION, L"NextId", L"0", MAX_VALUE_CHARS));
    if (storedNextId <= MAX_ENTRY_ID)
        state.nextId = std::max(state.nextId, storedNextId);
    ReadIgnoredFingerprints(index, state.ignored);
    if (index.GetInt(META_SECTION, L"Count", 0) < 1)
        return false;
    state.currentFingerprint =
        index.GetString(META_SECTION, L"CurrentFingerprint", L"", MAX_VALUE_CHARS);
    const int64_t currentId =
        ParseLeadingInt64(index.GetString(META_SECTION, L"CurrentId", L"0", MAX_VALUE_CHARS));
    const std::wstring order = index.GetString(META_SECTION, L"Order", L"", MAX_VALUE_CHARS);
    if (order.empty())
        return false;

    std::set<int64_t> seen;
    bool haveCurrent = false;
    size_t start = 0;
    while (start <= order.size() && state.entries.size() < MAX_HISTORY_ENTRIES) {
        size_t comma = order.find(L',', start);
        if (comma == std::wstring::npos)
            comma = order.size();
        const std::wstring piece = TrimText(std::wstring_view(order).substr(start, comma - start));
        start = comma + 1;
        if (piece.empty())
            continue;
        const int64_t id = ParseLeadingInt64(piece);
        // A repeated id would make two entries share (and delete) one set of files.
        if (id <= 0 || !seen.insert(id).second)
            continue;
        StoredEntry stored;
        if (!LoadEntryFiles(id, stored.entry, &stored))
            continue;
        if (id == currentId) {
            state.current = stored.entry;
            haveCurrent = true;
        }
        onDisk_[id].contentKnown = true;
        state.entries.push_back(std::move(stored));
    }
    // An older version may have put new entries above the pins.
    const auto isPinned = [](const StoredEntry& s) { return s.entry.pinned; };
    pins::PinnedFirst(state.entries, isPinned);
    if (!haveCurrent && !state.entries.empty())
        state.current = state.entries[*pins::NextCurrent(state.entries, isPinned)].entry;
    // A new id must never name an entry that is already there. One stored under an id above
    // the limit still loads; new ids keep below it and skip ids in use.
    for (const auto& s : state.entries)
        if (s.entry.id <= MAX_ENTRY_ID)
            state.nextId = std::max(state.nextId, s.entry.id);
    return !state.entries.empty();
}

bool HistoryFiles::LoadEntryFiles(int64_t id, ClipboardEntry& e, StoredEntry* stored) {
    std::string metaBytes;
    if (ReadWholeFile(EntryPath(id, L".meta"), MAX_PROFILE_FILE_BYTES, metaBytes) != FileRead::READ)
        return false;
    const ProfileDocument meta = ProfileDocument::Parse(metaBytes);
    OnDisk& record = onDisk_[id];
    record = OnDisk();
    record.meta = metaBytes;

    e = ClipboardEntry();
    e.id = id;
    e.kind = static_cast<uint32_t>(meta.GetInt(ENTRY_SECTION, L"Kind", 0));
    e.dataSize =
        ParseLeadingInt64(meta.GetString(ENTRY_SECTION, L"DataSize", L"0", MAX_VALUE_CHARS));
    const uint32_t high =
        ParseLeadingUInt32(meta.GetString(ENTRY_SECTION, L"TimeHigh", L"0", MAX_VALUE_CHARS));
    const uint32_t low =
        ParseLeadingUInt32(meta.GetString(ENTRY_SECTION, L"TimeLow", L"0", MAX_VALUE_CHARS));
    e.time = (static_cast<uint64_t>(high) << 32) | low;
    e.imageFileName = meta.GetString(ENTRY_SECTION, L"ImageFileName", L"", MAX_VALUE_CHARS);
    e.pinned = meta.GetInt(ENTRY_SECTION, PINNED_KEY, 0) == 1;

    std::string bytes;
    const FileRead textRead =
        ReadWholeFile(EntryPath(id, L".txt"), MAX_HISTORY_TEXT_FILE_BYTES, bytes);
    if (textRead == FileRead::READ)
        e.text = FromUtf8(bytes);
    record.kept.text = textRead == FileRead::FAILED;

    // Chosen by size alone; the bytes stay on disk until someone needs them.
    const auto findImage = [&](std::wstring_view ext) {
        std::wstring path = EntryPath(id, ext);
        const std::optional<FileStamp> stamp = StampOfFile(path);
        if (!stamp || stamp->size > MAX_HISTORY_IMAGE_FILE_BYTES)
            return false;
        e.image = stamp->size > 0 ? StoredImage::InFile(std::move(path), *stamp) : StoredImage();
        return true;
    };
    if (!findImage(HistoryImageExtension(e.imageFileName))) {
        if (findImage(L".img")) {
            if (e.imageFileName.empty())
                e.imageFileName = L"image.img";
        } else if (findImage(L".png") && !e.image.Empty() && e.imageFileName.empty()) {
            e.imageFileName = L"image.png";
        }
    }
    bytes = std::string();

    const FileRead filesRead =
        ReadWholeFile(EntryPath(id, L".files"), MAX_HISTORY_TEXT_FILE_BYTES, bytes);
    if (filesRead == FileRead::READ)
        e.files = SplitTrimmed(FromUtf8(bytes), L'\n');
    record.kept.files = filesRead == FileRead::FAILED;

    if (e.dataSize > 0) {
        if (e.kind == ENTRY_KIND_FILES && !e.files.empty()) {
            int64_t sum = 0;
            for (const auto& path : e.files)
                if (auto size = RegularFileSize(path))
                    sum += static_cast<int64_t>(*size);
            if (sum > 0)
                e.dataSize = sum;
        }
    } else if (e.kind == ENTRY_KIND_IMAGE && !e.image.Empty()) {
        e.dataSize = static_cast<int64_t>(e.image.Size());
    } else if (e.kind == ENTRY_KIND_TEXT && !e.text.empty()) {
        e.dataSize = static_cast<int64_t>(ToUtf8(e.text).size());
    }

    // Checking a stored fingerprint hashes the rest of the entry, and a fingerprint left
    // unknown is computed when first needed: a load hashes nothing (on Windows the first hash
    // also loads the system's hash provider, a visible part of the start-up under Wine).
    if (stored != nullptr && !e.image.Empty()) {
        std::wstring value = meta.GetString(ENTRY_SECTION, FINGERPRINT_KEY, L"", MAX_VALUE_CHARS);
        if (IsFingerprintText(value)) {
            stored->storedFingerprint = std::move(value);
            stored->storedGuard =
                meta.GetString(ENTRY_SECTION, FINGERPRINT_GUARD_KEY, L"", MAX_VALUE_CHARS);
        }
    }
    return true;
}

bool HistoryFiles::SaveHistoryFiles(HistoryState& state) {
    if (!EnsureFolderExists(folder_))
        return false;
    SaveBatch batch;
    for (auto& s : state.entries) {
        TakeStoredFingerprint(s);  // a fingerprint not yet checked is kept, not dropped
        PlanEntryFiles(s.entry, s.fingerprint, batch);
    }

    const std::wstring indexPath = IndexPath();
    ProfileDocument index;
    if (!LoadProfile(indexPath, index))
        index = ProfileDocument();
    index.Set(META_SECTION, L"Count", std::to_wstring(static_cast<int>(state.entries.size())));
    index.Set(META_SECTION, L"NextId", std::to_wstring(state.nextId));
    index.Set(META_SECTION, L"CurrentId", std::to_wstring(state.current.id));
    if (state.entries.empty()) {
        index.Remove(META_SECTION, L"Order");
        index.Remove(META_SECTION, L"CurrentId");
        index.Remove(META_SECTION, L"CurrentFingerprint");
    } else {
        std::wstring order;
        for (const auto& s : state.entries) {
            if (!order.empty())
                order += L',';
            order += std::to_wstring(s.entry.id);
        }
        index.Set(META_SECTION, L"CurrentFingerprint", state.currentFingerprint);
        index.Set(META_SECTION, L"Order", order);
    }
    WriteIgnoredFingerprints(index, state.ignored);
    // Last in the batch: it is renamed into place only after every entry file it names.
    const std::string& indexBytes = batch.made.emplace_back(index.ToBytes());
    const size_t indexWrite = batch.writes.size();
    batch.writes.push_back(FileWrite{indexPath, indexBytes.data(), indexBytes.size()});
    Commit(batch);
    if (MoveWrittenImagesToFiles(state)) {
        // Their fingerprints can be kept only now that each file has its write time; until this
        // second batch lands, their N".meta" holds none, which loads as unknown.
        SaveBatch metas;
        for (const auto& s : state.entries)
            PlanEntryFiles(s.entry, s.fingerprint, metas);
        Commit(metas);
    }
    return batch.writes[indexWrite].written;
}

bool HistoryFiles::SaveEntryFiles(ClipboardEntry& e, const std::wstring& fingerprint) {
    SaveBatch batch;
    PlanEntryFiles(e, fingerprint, batch);
    const bool ok = Commit(batch);
    MoveWrittenImageToFile(e);
    return ok;
}

bool HistoryFiles::MoveWrittenImageToFile(ClipboardEntry& e) const {
    if (e.image.IsFile() || e.image.Empty() || e.kind != ENTRY_KIND_IMAGE)
        return false;
    const auto known = onDisk_.find(e.id);
    if (known == onDisk_.end() || !known->second.contentKnown)
        return false;  // not written: the bytes stay in memory and the next save tries again
    std::wstring path = EntryPath(e.id, HistoryImageExtension(e.imageFileName));
    const std::optional<FileStamp> stamp = StampOfFile(path);
    if (!stamp || stamp->size != e.image.Size())
        return false;
    e.image = StoredImage::InFile(std::move(path), *stamp);
    return true;
}

bool HistoryFiles::MoveWrittenImagesToFiles(HistoryState& state) const {
    bool moved = false;
    for (auto& s : state.entries) {
        if (MoveWrittenImageToFile(s.entry)) {
            moved = true;
            if (s.entry.id == state.current.id)
                state.current.image = s.entry.image;
        }
    }
    return moved;
}

void HistoryFiles::PlanEntryFiles(const ClipboardEntry& e, const std::wstring& fingerprint,
                                  SaveBatch& batch) {
    const std::wstring metaPath = EntryPath(e.id, L".meta");
    auto known = onDisk_.find(e.id);
    ProfileDocument base;
    if (known != onDisk_.end()) {
        base = ProfileDocument::Parse(known->second.meta);
    } else if (!LoadProfile(metaPath, base)) {
        base = ProfileDocument();
    }
    SaveBatch::EntryPlan plan;
    plan.id = e.id;
    plan.meta = &batch.made.emplace_back(MetaBytes(std::move(base), e, fingerprint));
    OnDisk& record = onDisk_[e.id];
    if (record.meta != *plan.meta || RegularFileSize(metaPath) != plan.meta->size()) {
        // Forgotten until the write is known to have succeeded.
        record.meta.clear();
        plan.metaWrite = batch.writes.size();
        batch.writes.push_back(FileWrite{metaPath, plan.meta->data(), plan.meta->size()});
    }

    // An id's content never changes, so what was read or written for it once still stands as
    // long as its files are there.
    if (!record.contentKnown || !ContentFilesMatch(e, record.kept)) {
        record.contentKnown = false;
        plan.rewriteContent = true;
        plan.contentWrites.first = batch.writes.size();
        for (auto& f : PlanContentFiles(e, record.kept)) {
            std::wstring path = EntryPath(e.id, f.extension);
            if (!f.present) {
                plan.removals.push_back(std::move(path));
                continue;
            }
            if (f.data == f.text.data())
                f.data = batch.made.emplace_back(std::move(f.text)).data();
            batch.writes.push_back(FileWrite{std::move(path), f.data, f.size});
        }
        plan.contentWrites.second = batch.writes.size();
    }
    batch.entries.push_back(std::move(plan));
}

bool HistoryFiles::Commit(SaveBatch& batch) {
    bool ok = WriteFilesAtomically(batch.writes);
    for (const auto& plan : batch.entries) {
        OnDisk& record = onDisk_[plan.id];
        if (plan.metaWrite && batch.writes[*plan.metaWrite].written)
            record.meta = *plan.meta;
        if (!plan.rewriteContent)
            continue;
        bool contentWritten = true;
        for (size_t i = plan.contentWrites.first; i < plan.contentWrites.second; ++i)
            contentWritten = contentWritten && batch.writes[i].written;
        if (!contentWritten)
            continue;  // a file the entry's other content may still fall back on stays
        record.contentKnown = true;
        // Only now that the entry's own files are in place.
        for (const auto& path : plan.removals)
            RemoveFile(path);
    }
    return ok;
}

bool HistoryFiles::ContentFilesMatch(const ClipboardEntry& e, KeptEntryFiles kept) const {
    for (const auto& f : PlanContentFiles(e, kept)) {
        const std::wstring path = EntryPath(e.id, f.extension);
        if (f.present ? RegularFileSize(path) != f.size : Exists(path))
            return false;
    }
    return true;
}

void HistoryFiles::DeleteEntryFiles(int64_t id) {
    onDisk_.erase(id);
    const std::wstring metaPath = EntryPath(id, L".meta");
    const std::wstring imageName =
        ReadProfileString(metaPath, ENTRY_SECTION, L"ImageFileName", L"", MAX_VALUE_CHARS);
    for (const std::wstring& ext :
         {std::wstring(L".meta"), std::wstring(L".txt"), HistoryImageExtension(imageName),
          std::wstring(L".png"), std::wstring(L".img"), std::wstring(L".files")})
        RemoveFile(EntryPath(id, ext));

    // Whatever else carries this id: other image files, unfinished temporary files.
    const std::wstring prefix = std::to_wstring(id) + L".";
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(PathFromText(folder_), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        if (TextFromPath(it->path().filename()).starts_with(prefix))
            doomed.push_back(it->path());
    }
    for (const auto& p : doomed)
        fs::remove(p, ec);
}

void HistoryFiles::DeleteAllHistoryFiles(bool keepIndex) {
    onDisk_.clear();
    std::error_code ec;
    const fs::path folder = PathFromText(folder_);
    if (!fs::is_directory(folder, ec))
        return;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        if (keepIndex && TextFromPath(it->path().filename()) == INDEX_NAME)
            continue;
        doomed.push_back(it->path());
    }
    for (const auto& p : doomed)
        fs::remove(p, ec);
}

int64_t HistoryFiles::TidyFolder() {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    int64_t highestId = 0;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(PathFromText(folder_), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code fileError;
        if (!it->is_regular_file(fileError))
            continue;
        const std::wstring name = TextFromPath(it->path().filename());
        if (!name.empty() && name[0] >= L'1' && name[0] <= L'9') {
            const int64_t id = ParseLeadingInt64(name);
            if (id <= MAX_ENTRY_ID)
                highestId = std::max(highestId, id);
        }
        if (!IsTemporaryFileName(name))
            continue;
        const auto written = it->last_write_time(fileError);
        if (!fileError && now - written > STALE_TEMPORARY_AGE)
            doomed.push_back(it->path());
    }
    for (const auto& p : doomed)
        fs::remove(p, ec);
    return highestId;
}

}  // namespace zovrel
