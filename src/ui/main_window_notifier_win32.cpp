#include "ui/main_window_notifier_win32.h"

#include "clipboard/clipboard_entry.h"
#include "ui/image_decoder_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

bool WindowPostTarget::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    // Held across the post, so Close cannot slip in between the check and the post.
    std::lock_guard guard(lock_);
    return window_ != nullptr && ::PostMessageW(window_, message, wParam, lParam) != FALSE;
}

void WindowPostTarget::Open(HWND window) {
    std::lock_guard guard(lock_);
    window_ = window;
}

void WindowPostTarget::Close() {
    std::lock_guard guard(lock_);
    window_ = nullptr;
}

bool WindowNotifier::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return target_ != nullptr && target_->Post(message, wParam, lParam);
}

bool WindowNotifier::PostHistoryChanged() {
    return Post(WM_HISTORY_CHANGED, 0, 0);
}

bool WindowNotifier::PostHistoryFull() {
    return Post(WM_HISTORY_FULL, 0, 0);
}

bool WindowNotifier::PostSerialStateChanged() {
    return Post(WM_SERIAL_STATE_CHANGED, 0, 0);
}

bool WindowNotifier::PostLogText(std::wstring line) {
    auto payload = std::make_unique<std::wstring>(std::move(line));
    if (!Post(WM_APPEND_LOG_TEXT, 0, reinterpret_cast<LPARAM>(payload.get()))) {
        return false;
    }
    payload.release();  // the window frees it
    return true;
}

bool WindowNotifier::PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) {
    if (entry == nullptr || !Post(WM_RECEIVED_ENTRY, 0, reinterpret_cast<LPARAM>(entry.get()))) {
        return false;
    }
    entry.release();
    return true;
}

bool WindowNotifier::PostSendProgress(int percent, std::wstring text) {
    auto payload = std::make_unique<std::wstring>(std::move(text));
    if (!Post(WM_SEND_PROGRESS, static_cast<WPARAM>(static_cast<INT_PTR>(percent)),
              reinterpret_cast<LPARAM>(payload.get()))) {
        return false;
    }
    payload.release();
    return true;
}

bool WindowNotifier::PostSendResult(bool success, std::wstring text) {
    // Success carries no text.
    std::unique_ptr<std::wstring> payload;
    if (!success) {
        payload = std::make_unique<std::wstring>(std::move(text));
    }
    if (!Post(WM_SEND_RESULT, success ? 1 : 0, reinterpret_cast<LPARAM>(payload.get()))) {
        return false;
    }
    payload.release();
    return true;
}

bool WindowNotifier::PostReceiveFailed() {
    return Post(WM_RECEIVE_FAILED, 0, 0);
}

void FreeMessagePayload(UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_APPEND_LOG_TEXT:
        case WM_SEND_RESULT:
        case WM_SEND_PROGRESS:
            delete reinterpret_cast<std::wstring*>(lParam);
            break;
        case WM_RECEIVED_ENTRY:
        case WM_FILES_CHECKED:
            delete reinterpret_cast<ClipboardEntry*>(lParam);
            break;
        case WM_IMAGE_DECODED:
            delete reinterpret_cast<DecodedImage*>(lParam);
            break;
        default:
            break;
    }
}

void DrainQueuedPayloads(HWND window) {
    static_assert(WM_APPEND_LOG_TEXT < WM_RECEIVED_ENTRY && WM_RECEIVED_ENTRY < WM_SEND_RESULT &&
                  WM_SEND_RESULT < WM_SEND_PROGRESS && WM_FILES_CHECKED + 1 == WM_IMAGE_DECODED);
    MSG message;
    while (::PeekMessageW(&message, window, WM_APPEND_LOG_TEXT, WM_SEND_PROGRESS,
                          PM_REMOVE | PM_NOYIELD)) {
        FreeMessagePayload(message.message, message.wParam, message.lParam);
    }
    while (::PeekMessageW(&message, window, WM_FILES_CHECKED, WM_IMAGE_DECODED,
                          PM_REMOVE | PM_NOYIELD)) {
        FreeMessagePayload(message.message, message.wParam, message.lParam);
    }
}

}  // namespace zovrel::ui
