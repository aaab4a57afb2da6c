#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "clipboard/clipboard_entry.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_files.h"

namespace zovrel {

// The clipboard history: at most 30 entries, newest first, kept in memory and saved to its
// folder after every change. Every operation is safe from any thread; callers get copies.
class ClipboardHistory {
  public:
    // Loads the history kept in `folder` (created when missing).
    explicit ClipboardHistory(std::wstring folder);
    ClipboardHistory(const ClipboardHistory&) = delete;
    ClipboardHistory& operator=(const ClipboardHistory&) = delete;

    // Adds the content as the newest entry with a fresh id (at the top of the unpinned entries),
    // unless it is the current content or every one of the 30 entries is pinned (`fullOfPins`,
    // optional, tells which). True when the history changed.
    bool AddEntry(const ClipboardEntry& captured, bool* fullOfPins = nullptr);
    // Moves an older entry with the same content to the top of its group (pinned or not), with
    // the captured time, and makes it current. True when the history changed (the current entry
    // at the top of its group is no change).
    bool PromoteMatchingEntry(const ClipboardEntry& captured);
    // Moves the entry to the top of its group unchanged and makes it current. False for a bad
    // index.
    bool MoveEntryToTop(int index);
    bool RemoveEntry(int index);
    // Pins or releases the entry; it moves to the boundary between pinned and unpinned entries.
    // Its new index, or -1 for a bad index.
    int SetPinned(int index, bool pinned);
    int GetPinnedCount() const;
    // Removes every unpinned entry and empties the ignore list; pinned entries stay, ids keep
    // growing.
    void ClearHistory();
    void SaveHistory();

    std::optional<ClipboardEntry> GetEntryAt(int index) const;
    // The entry with its text cut to `maxChars` characters and its file list to the paths that
    // begin within the first `maxChars` characters of the list: what a list row or a preview
    // shows, at a cost that does not grow with the entry.
    std::optional<ClipboardEntry> GetEntryHeadAt(int index, size_t maxChars) const;
    std::optional<ClipboardEntry> GetCurrentEntry() const;
    int GetEntryCount() const;
    std::vector<ClipboardEntry> GetEntries() const;
    std::wstring GetCurrentFingerprint() const;
    // The entry's fingerprint: the stored one, else computed now (empty when its image file
    // can no longer be read).
    std::wstring GetFingerprintAt(int index);
    // Computes every fingerprint still unknown, one entry at a time without holding the lock
    // while hashing, and saves them. For a thread of its own after start-up, which `stop` ends
    // between two entries; returns how many were completed.
    int CompleteFingerprints(std::stop_token stop = {});
    // The persisted ignore list, which the watcher takes over at start-up.
    FingerprintSet GetIgnoredFingerprints() const;
    const std::wstring& Folder() const { return files_.Folder(); }

  private:
    // After the current entry left: the newest unpinned entry, else the top, becomes current.
    void MakeNextCurrent();
    // Under the lock; computed (reading an image) only when unknown.
    const std::wstring& FingerprintOf(StoredEntry& stored);
    const std::wstring& CurrentFingerprint();

    mutable std::recursive_mutex lock_;
    HistoryFiles files_;
    HistoryState state_;
};

// The process's one history, in GetHistoryFolder(); created and loaded on the first call.
ClipboardHistory& GetHistoryStore();

}  // namespace zovrel
