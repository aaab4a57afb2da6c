#pragma once

#include <memory>
#include <string>

namespace zovrel {

struct ClipboardEntry;

// The core's way to reach the main window: one typed post per window message. Each post returns
// false when it could not be delivered; the payload is then dropped (freed) by the notifier, which
// is what the poster would otherwise have to do. Posts never block and may come from any thread.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual bool PostHistoryChanged() = 0;                                   // WM_HISTORY_CHANGED
    virtual bool PostSerialStateChanged() = 0;                               // WM_SERIAL_STATE_CHANGED
    virtual bool PostLogText(std::wstring line) = 0;                         // WM_APPEND_LOG_TEXT
    virtual bool PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) = 0;  // WM_RECEIVED_ENTRY
    virtual bool PostSendProgress(int percent, std::wstring text) = 0;       // WM_SEND_PROGRESS
    virtual bool PostSendResult(bool success, std::wstring text) = 0;        // WM_SEND_RESULT
    // A capture was not kept: every entry of the full history is pinned. Only a window tells
    // anyone.
    virtual bool PostHistoryFull() { return false; }  // WM_HISTORY_FULL
    // A transfer from the device began and failed (checksum, incomplete, given up on silence).
    // Only the window tells the user (WM_RECEIVE_FAILED); other receivers may ignore it.
    virtual bool PostReceiveFailed() { return false; }
};

}  // namespace zovrel
