#include "clipboard/history_store.h"

#include <algorithm>
#include <utility>

#include "clipboard/pin_rules.h"

namespace zovrel {

namespace {

bool IsPinned(const StoredEntry& s) {
    return s.entry.pinned;
}

}  // namespace

ClipboardHistory::ClipboardHistory(std::wstring folder) : files_(std::move(folder)) {
    if (!files_.LoadHistoryFiles(state_)) {
        // The next id and the ignore list survive an index that names no entry.
        state_.entries.clear();
        state_.current = ClipboardEntry();
        state_.currentFingerprint.clear();
    }
}

bool ClipboardHistory::AddEntry(const ClipboardEntry& given, bool* fullOfPins) {
    if (fullOfPins != nullptr)
        *fullOfPins = false;
    // A new entry owns its bytes until its own file is written: another entry's file may be
    // deleted with that entry.
    ClipboardEntry captured = given;
    if (given.image.IsFile()) {
        SharedBytes bytes;
        if (!given.image.Read(bytes))
            return false;
        captured.image = StoredImage(std::move(bytes));
    }
    const std::wstring f = ComputeFingerprint(captured);
    std::optional<int64_t> dropped;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (f == CurrentFingerprint())
            return false;
        if (pins::FullOfPins(state_.entries, MAX_HISTORY_ENTRIES, IsPinned)) {
            if (fullOfPins != nullptr)
                *fullOfPins = true;
            return false;
        }
        StoredEntry stored{captured, f};
        stored.entry.pinned = false;
        bool wrapped = false;
        stored.entry.id = TakeNextEntryId(state_, wrapped);
        if (wrapped)
            files_.DeleteEntryFiles(stored.entry.id);  // nothing of an older owner may remain
        state_.current = stored.entry;
        state_.currentFingerprint = f;
        state_.ignored.erase(f);
        const size_t at = pins::TopOfGroup(state_.entries, false, IsPinned);
        state_.entries.insert(state_.entries.begin() + static_cast<std::ptrdiff_t>(at),
                              std::move(stored));
        if (const auto evicted =
                pins::EntryToEvict(state_.entries, MAX_HISTORY_ENTRIES, IsPinned)) {
            dropped = state_.entries[*evicted].entry.id;
            state_.entries.erase(state_.entries.begin() + static_cast<std::ptrdiff_t>(*evicted));
        }
        SaveHistory();
        // Only once the saved index no longer names it: a crash before then must still find
        // every entry of the old history.
        if (dropped)
            files_.DeleteEntryFiles(*dropped);
    }
    return true;
}

namespace {

// Whether two entries could have the same content, judged from what costs nothing to compare.
bool CouldMatch(const ClipboardEntry& a, const ClipboardEntry& b) {
    return a.kind == b.kind && a.image.Size() == b.image.Size() &&
           a.imageFileName == b.imageFileName && a.text == b.text && a.files == b.files;
}

bool SameImageFile(const StoredImage& a, const StoredImage& b) {
    return a.Path() == b.Path() && a.Size() == b.Size() && a.WriteTime() == b.WriteTime() &&
           a.MemoryBytes().SharesBufferWith(b.MemoryBytes());
}

}  // namespace

const std::wstring& ClipboardHistory::FingerprintOf(StoredEntry& stored) {
    TakeStoredFingerprint(stored);
    if (stored.fingerprint.empty())
        stored.fingerprint = ComputeFingerprint(stored.entry);
    return stored.fingerprint;
}

const std::wstring& ClipboardHistory::CurrentFingerprint() {
    if (state_.currentFingerprint.empty() && state_.current.id > 0) {
        for (auto& s : state_.entries)
            if (s.entry.id == state_.current.id)
                state_.currentFingerprint = FingerprintOf(s);
    }
    return state_.currentFingerprint;
}

bool ClipboardHistory::PromoteMatchingEntry(const ClipboardEntry& captured) {
    const std::wstring f = ComputeFingerprint(captured);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // An unknown fingerprint is computed only for an entry that could match at all.
    size_t match = 0;
    while (match < state_.entries.size()) {
        StoredEntry& s = state_.entries[match];
        if (s.fingerprint.empty() ? CouldMatch(s.entry, captured) && FingerprintOf(s) == f
                                  : s.fingerprint == f)
            break;
        ++match;
    }
    if (match == state_.entries.size())
        return false;
    // The current entry at the top of its group is already where a capture would put it.
    if (match == pins::TopOfGroup(state_.entries, IsPinned(state_.entries[match]), IsPinned) &&
        state_.entries[match].entry.id == state_.current.id)
        return false;
    state_.entries[match].entry.time = captured.time;
    const size_t top = pins::MoveToTopOfGroup(state_.entries, match, IsPinned);
    state_.current = state_.entries[top].entry;
    state_.currentFingerprint = f;
    state_.ignored.erase(f);
    SaveHistory();
    return true;
}

bool ClipboardHistory::MoveEntryToTop(int index) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return false;
    const size_t top = pins::MoveToTopOfGroup(state_.entries, static_cast<size_t>(index), IsPinned);
    state_.current = state_.entries[top].entry;
    state_.currentFingerprint = state_.entries[top].fingerprint;
    SaveHistory();
    return true;
}

int ClipboardHistory::SetPinned(int index, bool pinned) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return -1;
    StoredEntry& s = state_.entries[static_cast<size_t>(index)];
    if (s.entry.pinned == pinned)
        return index;
    s.entry.pinned = pinned;
    if (s.entry.id == state_.current.id)
        state_.current.pinned = pinned;
    const size_t at =
        pins::MoveToGroupBoundary(state_.entries, static_cast<size_t>(index), IsPinned);
    SaveHistory();
    return static_cast<int>(at);
}

int ClipboardHistory::GetPinnedCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<int>(pins::UnpinnedStart(state_.entries, IsPinned));
}

bool ClipboardHistory::RemoveEntry(int index) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return false;
    const int64_t id = state_.entries[static_cast<size_t>(index)].entry.id;
    state_.entries.erase(state_.entries.begin() + index);
    if (id == state_.current.id)
        MakeNextCurrent();
    // Saved first, so the index never names an entry whose files are already gone.
    SaveHistory();
    files_.DeleteEntryFiles(id);
    return true;
}

void ClipboardHistory::ClearHistory() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<int64_t> removed;
    const size_t kept = pins::UnpinnedStart(state_.entries, IsPinned);
    for (size_t i = kept; i < state_.entries.size(); ++i)
        removed.push_back(state_.entries[i].entry.id);
    bool currentKept = false;
    for (size_t i = 0; i < kept; ++i)
        currentKept = currentKept || state_.entries[i].entry.id == state_.current.id;
    state_.entries.resize(kept);
    if (!currentKept)
        MakeNextCurrent();
    state_.ignored.clear();
    // The new index goes down first, keeping the id counter whatever happens next.
    SaveHistory();
    if (state_.entries.empty()) {
        files_.DeleteAllHistoryFiles(/*keepIndex=*/true);
    } else {
        for (int64_t id : removed)
            files_.DeleteEntryFiles(id);
    }
}

void ClipboardHistory::SaveHistory() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    files_.SaveHistoryFiles(state_);
}

void ClipboardHistory::MakeNextCurrent() {
    const std::optional<size_t> next = pins::NextCurrent(state_.entries, IsPinned);
    if (!next) {
        state_.current = ClipboardEntry();
        state_.currentFingerprint.clear();
        return;
    }
    state_.current = state_.entries[*next].entry;
    state_.currentFingerprint = state_.entries[*next].fingerprint;
}

std::wstring ClipboardHistory::GetFingerprintAt(int index) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return {};
    return FingerprintOf(state_.entries[static_cast<size_t>(index)]);
}

int ClipboardHistory::CompleteFingerprints(std::stop_token stop) {
    std::vector<int64_t> tried;
    int completed = 0;
    while (!stop.stop_requested()) {
        ClipboardEntry next;
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            for (auto& s : state_.entries) {
                TakeStoredFingerprint(s);
                if (s.fingerprint.empty() &&
                    std::find(tried.begin(), tried.end(), s.entry.id) == tried.end()) {
                    next = s.entry;
                    break;
                }
            }
        }
        if (next.id == 0)
            break;
        tried.push_back(next.id);
        // Hashed without the lock, so the window's thread never waits for it.
        std::wstring f = ComputeFingerprint(next);
        if (f.empty())
            continue;
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (auto& s : state_.entries) {
            // Taken only for the very content it was computed from.
            if (s.entry.id == next.id && s.fingerprint.empty() &&
                SameImageFile(s.entry.image, next.image)) {
                s.fingerprint = std::move(f);
                ++completed;
                break;
            }
        }
    }
    if (completed > 0)
        SaveHistory();
    return completed;
}

std::optional<ClipboardEntry> ClipboardHistory::GetEntryAt(int index) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return std::nullopt;
    return state_.entries[static_cast<size_t>(index)].entry;
}

std::optional<ClipboardEntry> ClipboardHistory::GetEntryHeadAt(int index, size_t maxChars) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (index < 0 || static_cast<size_t>(index) >= state_.entries.size())
        return std::nullopt;
    const ClipboardEntry& whole = state_.entries[static_cast<size_t>(index)].entry;
    ClipboardEntry head;
    head.id = whole.id;
    head.kind = whole.kind;
    head.text = whole.text.substr(0, maxChars);
    size_t chars = 0;
    for (const auto& path : whole.files) {
        if (chars >= maxChars)
            break;
        head.files.push_back(path.substr(0, maxChars));
        chars += path.size() + 1;
    }
    head.image = whole.image;
    head.imageFileName = whole.imageFileName;
    head.dataSize = whole.dataSize;
    head.time = whole.time;
    head.pinned = whole.pinned;
    return head;
}

std::optional<ClipboardEntry> ClipboardHistory::GetCurrentEntry() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (state_.current.id < 1)
        return std::nullopt;
    return state_.current;
}

int ClipboardHistory::GetEntryCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<int>(state_.entries.size());
}

std::vector<ClipboardEntry> ClipboardHistory::GetEntries() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<ClipboardEntry> copies;
    copies.reserve(state_.entries.size());
    for (const auto& s : state_.entries)
        copies.push_back(s.entry);
    return copies;
}

std::wstring ClipboardHistory::GetCurrentFingerprint() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return state_.currentFingerprint;
}

FingerprintSet ClipboardHistory::GetIgnoredFingerprints() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return state_.ignored;
}

ClipboardHistory& GetHistoryStore() {
    // Constructed once, thread-safely, on the first call; lives until the process ends.
    static ClipboardHistory store(GetHistoryFolder());
    return store;
}

}  // namespace zovrel
