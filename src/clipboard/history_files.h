#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "clipboard/clipboard_entry.h"
#include "clipboard/fingerprint.h"
#include "settings/file_io.h"

namespace zovrel {

// Reading limits for the history's files.
inline constexpr size_t MAX_HISTORY_TEXT_FILE_BYTES = 16u * 1024 * 1024;
inline constexpr size_t MAX_HISTORY_IMAGE_FILE_BYTES = 32u * 1024 * 1024;
// The history never holds more entries than this, on disk or in memory.
inline constexpr size_t MAX_HISTORY_ENTRIES = 30;
// Ids handed out stay positive and at most this (below 2^53). A larger number in a file name or
// in `NextId` is taken as corrupt when the next id is chosen: counting on from it would soon
// overflow into negative ids, which no later load accepts.
inline constexpr int64_t MAX_ENTRY_ID = (int64_t{1} << 53) - 1;

// One entry of the history with the fingerprint of its content, kept so that nothing has to
// hash stored images again; empty while unknown (not yet computed, an image whose stored
// fingerprint was missing or did not match its guard, or whose file cannot be read).
struct StoredEntry {
    ClipboardEntry entry;
    std::wstring fingerprint;
    // An image's fingerprint and guard as its N".meta" holds them, not yet checked: the check
    // hashes, which a load leaves to whoever first needs the fingerprint (TakeStoredFingerprint).
    std::wstring storedFingerprint = {};
    std::wstring storedGuard = {};
};

// Takes the stored fingerprint as the entry's when its guard still holds; drops it either way.
void TakeStoredFingerprint(StoredEntry& stored);

// Everything the history keeps on disk.
struct HistoryState {
    std::vector<StoredEntry> entries;  // newest first
    ClipboardEntry current;            // id 0 when none
    std::wstring currentFingerprint;
    int64_t nextId = 0;  // the last id handed out
    FingerprintSet ignored;
};

// Files of an entry that were there but could not be read (over the reading limit, say): a save
// keeps them as they are rather than replace them by the nothing that was loaded.
struct KeptEntryFiles {
    bool text = false;
    bool files = false;
};

// Takes the id for a new entry: the one after `nextId`, skipping ids in use. When every id up to
// MAX_ENTRY_ID has been handed out it starts again from the lowest free one; `wrapped` tells the
// caller so, as files of that id may be left from long ago.
int64_t TakeNextEntryId(HistoryState& state, bool& wrapped);

// The history folder's name under the data root, and the folder itself.
std::wstring GetHistoryFolder();

// N + the extension an image of that file name is stored under: its own extension, lower-cased,
// when it is a short plain one (letters and digits) that no other entry file uses; else ".img".
std::wstring HistoryImageExtension(const std::wstring& imageFileName);

// The files of the history in one folder: "index.ini" and, per entry id N, N".meta", N".txt",
// N".files" and the image file. Each file is replaced as a whole (a temporary file renamed over
// it), so a crash leaves either its old or its new content. Remembers what it last wrote or read
// per entry, so a save rewrites only what changed or went missing.
class HistoryFiles {
  public:
    explicit HistoryFiles(std::wstring folder);

    const std::wstring& Folder() const { return folder_; }
    std::wstring IndexPath() const;

    // True when at least one entry was loaded. The next id and the ignore list load whenever the
    // index exists. No image is read: an image entry refers to its file, and its fingerprint is
    // the stored one when that still matches its guard, else unknown.
    bool LoadHistoryFiles(HistoryState& state);
    // All changed files in one batch (one flush), entry files first and the index last: until the
    // index names a new entry, the old index and the files it names are intact. False when the
    // folder cannot be made or the index not written. An image held in memory whose file was
    // written becomes a reference to that file (in `state.current` too); one kept in a file is
    // never written or removed.
    bool SaveHistoryFiles(HistoryState& state);

    // True when N".meta" exists. `stored` (optional) gets an image's stored fingerprint and its
    // guard, unchecked; nothing is hashed.
    bool LoadEntryFiles(int64_t id, ClipboardEntry& entry, StoredEntry* stored = nullptr);
    // `fingerprint` (optional) is the entry's content fingerprint, kept in N".meta" for an image
    // in a file. True when every write succeeded; then an image in memory refers to its file.
    bool SaveEntryFiles(ClipboardEntry& entry, const std::wstring& fingerprint = {});
    void DeleteEntryFiles(int64_t id);
    // Every file (not folder) of the history folder; `keepIndex` spares "index.ini".
    void DeleteAllHistoryFiles(bool keepIndex = false);

  private:
    struct OnDisk {
        std::string meta;           // the N".meta" bytes last read or written
        bool contentKnown = false;  // the content files were last read or written whole
        KeptEntryFiles kept;
    };
    // The file changes of one save, made together by Commit: every new content renamed into
    // place in list order, then the files that must no longer be there removed.
    struct SaveBatch {
        struct EntryPlan {
            int64_t id = 0;
            const std::string* meta = nullptr;
            std::optional<size_t> metaWrite;  // index into writes
            bool rewriteContent = false;
            std::pair<size_t, size_t> contentWrites{0, 0};  // [first, second) of writes
            std::vector<std::wstring> removals;
        };
        std::deque<std::string> made;  // bytes made for the save; a deque keeps them in place
        std::vector<FileWrite> writes;
        std::vector<EntryPlan> entries;
    };

    std::wstring EntryPath(int64_t id, std::wstring_view extension) const;
    bool ContentFilesMatch(const ClipboardEntry& entry, KeptEntryFiles kept) const;
    // The entry's image, once its file is written, refers to that file. True when it moved.
    bool MoveWrittenImageToFile(ClipboardEntry& entry) const;
    bool MoveWrittenImagesToFiles(HistoryState& state) const;
    void PlanEntryFiles(const ClipboardEntry& entry, const std::wstring& fingerprint,
                        SaveBatch& batch);
    // True when every file was written; removals are best effort.
    bool Commit(SaveBatch& batch);
    // Removes temporary files an interrupted save left behind and returns the highest id any
    // file in the folder carries. A new entry must not take an id whose files are still there
    // from a save that never reached the index: they would load as part of its content.
    int64_t TidyFolder();

    std::wstring folder_;
    std::map<int64_t, OnDisk> onDisk_;
};

}  // namespace zovrel
