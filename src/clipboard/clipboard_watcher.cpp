#include "clipboard/clipboard_watcher.h"

#include "base/notifier.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"

namespace zovrel {

ClipboardCapture::ClipboardCapture(ClipboardSource& source, ClipboardHistory* history)
    : source_(source), history_(history) {}

ClipboardHistory& ClipboardCapture::History() {
    return history_ != nullptr ? *history_ : GetHistoryStore();
}

bool ClipboardCapture::CaptureClipboardChange(Notifier* notify) {
    // The program is writing the clipboard or sending; what it puts there is not new content.
    if (OwnClipboardWriteDepth() > 0)
        return false;

    ClipboardEntry entry;
    switch (source_.Read(entry)) {
        case ClipboardReadResult::NOTHING:
            // Busy or unreadable: leave the sequence alone so the poll tries again.
            return false;
        case ClipboardReadResult::PRIVATE:
            // Never kept on disk nor sent; dealt with, so the poll does not keep reading it.
            RecordClipboardSequence();
            return false;
        case ClipboardReadResult::CONTENT:
            break;
    }

    const std::wstring fingerprint = ComputeFingerprint(entry);
    if (ignoreSet_.count(fingerprint) != 0) {
        RecordClipboardSequence();
        return false;
    }
    if (!ownWriteFingerprint_.empty() && ownWriteFingerprint_ == fingerprint) {
        ownWriteFingerprint_.clear();  // the mark is good for one capture only
        RecordClipboardSequence();
        return false;
    }

    ClipboardHistory& history = History();
    bool fullOfPins = false;
    const bool changed =
        history.PromoteMatchingEntry(entry) || history.AddEntry(entry, &fullOfPins);
    RecordClipboardSequence();
    if (changed && notify != nullptr)
        notify->PostHistoryChanged();
    if (fullOfPins && notify != nullptr)
        notify->PostHistoryFull();
    return changed;
}

bool ClipboardCapture::PollDue() {
    if (OwnClipboardWriteDepth() > 0)
        return false;
    const uint32_t sequence = source_.SequenceNumber();
    return sequence == 0 || sequence != lastSequence_;
}

void ClipboardCapture::RecordClipboardSequence() {
    const uint32_t sequence = source_.SequenceNumber();
    if (sequence != 0)
        lastSequence_ = sequence;
}

void ClipboardCapture::MarkClipboardAsOwn() {
    ClipboardEntry entry;
    if (source_.Read(entry) == ClipboardReadResult::CONTENT) {
        ownWriteFingerprint_ = ComputeFingerprint(entry);
    }
    RecordClipboardSequence();
}

void ClipboardCapture::SetOwnWriteFingerprint(std::wstring fingerprint) {
    ownWriteFingerprint_ = std::move(fingerprint);
}

void ClipboardCapture::AddWatcherIgnoredFingerprint(const std::wstring& fingerprint) {
    if (!fingerprint.empty())
        ignoreSet_.insert(fingerprint);
}

}  // namespace zovrel
