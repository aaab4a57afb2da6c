#pragma once

#include <cstdint>
#include <string>

#include "clipboard/clipboard_access.h"
#include "clipboard/clipboard_entry.h"
#include "clipboard/fingerprint.h"

#ifdef _WIN32
#include "base/win32_handle.h"
#endif

namespace zovrel {

class ClipboardHistory;
class Notifier;

// The system clipboard as the watcher sees it.
class ClipboardSource {
  public:
    virtual ~ClipboardSource() = default;
    // Reads the clipboard; content marked private is reported as such and left unread.
    virtual ClipboardReadResult Read(ClipboardEntry& entry) = 0;
    // The clipboard's change counter; 0 when the system cannot tell.
    virtual uint32_t SequenceNumber() = 0;
};

// What the watcher does with each clipboard change, apart from windows and timers: skip it while
// the program writes, skip private, ignored and own content, else promote or add it to the
// history and tell the main window.
class ClipboardCapture {
  public:
    // `history` null means the process's history store.
    ClipboardCapture(ClipboardSource& source, ClipboardHistory* history = nullptr);

    // One capture. True when the history changed (and the notifier, if any, was told).
    bool CaptureClipboardChange(Notifier* notify);
    // The poll's question: is a capture due (not suppressed, and the counter moved or is unknown)?
    bool PollDue();
    // Remembers the current sequence number as dealt with (unless the system gives 0).
    void RecordClipboardSequence();

    // Fingerprints whatever the clipboard holds now as the program's own write, used once.
    void MarkClipboardAsOwn();
    void SetOwnWriteFingerprint(std::wstring fingerprint);
    // Content with this fingerprint is never captured. Empty fingerprints are not added.
    void AddWatcherIgnoredFingerprint(const std::wstring& fingerprint);

    const std::wstring& OwnWriteFingerprint() const { return ownWriteFingerprint_; }
    const FingerprintSet& IgnoreSet() const { return ignoreSet_; }
    uint32_t LastSequence() const { return lastSequence_; }

  private:
    ClipboardHistory& History();

    ClipboardSource& source_;
    ClipboardHistory* history_;
    std::wstring ownWriteFingerprint_;
    FingerprintSet ignoreSet_;
    uint32_t lastSequence_ = 0;
};

#ifdef _WIN32

// The clipboard as the watcher's hidden window reads it.
class Win32ClipboardSource final : public ClipboardSource {
  public:
    void SetOwner(HWND owner) { owner_ = owner; }
    ClipboardReadResult Read(ClipboardEntry& entry) override {
        return ReadClipboardEntryUnlessPrivate(owner_, entry);
    }
    uint32_t SequenceNumber() override { return GetClipboardSequenceNumber(); }

  private:
    HWND owner_ = nullptr;
};

// Notices every change of the system clipboard through a hidden window and turns new content
// into history entries.
class CZovrelClipboardWatcher {
  public:
    enum class Subscription {
        AUTOMATIC,     // the format listener when the system has one, else the viewer chain
        VIEWER_CHAIN,  // always the older viewer chain
    };

    // `history` null means the process's history store.
    explicit CZovrelClipboardWatcher(ClipboardHistory* history = nullptr,
                                     Subscription subscription = Subscription::AUTOMATIC);
    ~CZovrelClipboardWatcher();
    CZovrelClipboardWatcher(const CZovrelClipboardWatcher&) = delete;
    CZovrelClipboardWatcher& operator=(const CZovrelClipboardWatcher&) = delete;

    // Creates the hidden window and subscribes; `notify` hears about history changes.
    bool StartWatching(Notifier* notify);
    void StopWatching();
    void CaptureClipboardChange();
    void RecordClipboardSequence() { capture_.RecordClipboardSequence(); }

    void MarkClipboardAsOwn() { capture_.MarkClipboardAsOwn(); }
    void SetOwnWriteFingerprint(std::wstring fingerprint) {
        capture_.SetOwnWriteFingerprint(std::move(fingerprint));
    }
    void AddWatcherIgnoredFingerprint(const std::wstring& fingerprint) {
        capture_.AddWatcherIgnoredFingerprint(fingerprint);
    }

    HWND Window() const { return window_.Get(); }
    HWND NextViewer() const { return nextViewer_; }
    bool ListenerMode() const { return listenerMode_; }
    const ClipboardCapture& Capture() const { return capture_; }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Subscribe();
    void RestartDebounce();

    Subscription subscription_;
    Win32ClipboardSource source_;
    ClipboardCapture capture_;
    Notifier* notify_ = nullptr;
    UniqueWindow window_;
    HWND nextViewer_ = nullptr;
    bool listenerMode_ = false;
    bool viewerMode_ = false;
};

#endif

}  // namespace zovrel
