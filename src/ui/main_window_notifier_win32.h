#pragma once

// The core's posts to the main window as window messages with heap payloads. A payload passes to
// the window with its message; when a post fails, or the window has gone, the poster frees it.

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "base/notifier.h"

namespace zovrel::ui {

// The window posts go to, shared by the window and every thread that posts to it. The window
// closes it when it is destroyed; from then on every post fails, so nothing can land in the
// queue of a window that will never read it.
class WindowPostTarget {
  public:
    explicit WindowPostTarget(HWND window = nullptr) : window_(window) {}
    // PostMessageW while the target is open; false when it is closed or posting failed.
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);
    void Open(HWND window);
    void Close();

  private:
    std::mutex lock_;
    HWND window_;
};

// A Notifier that posts to one window target; copies share the target.
class WindowNotifier final : public Notifier {
  public:
    WindowNotifier() = default;
    explicit WindowNotifier(std::shared_ptr<WindowPostTarget> target)
        : target_(std::move(target)) {}

    bool PostHistoryChanged() override;
    bool PostSerialStateChanged() override;
    bool PostLogText(std::wstring line) override;
    bool PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) override;
    bool PostSendProgress(int percent, std::wstring text) override;
    bool PostSendResult(bool success, std::wstring text) override;
    bool PostHistoryFull() override;
    bool PostReceiveFailed() override;

  private:
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);
    std::shared_ptr<WindowPostTarget> target_;
};

// Frees the payload one of the main window's messages carries (a message taken from the queue
// that will never be handled). Messages without payload are ignored.
void FreeMessagePayload(UINT message, WPARAM wParam, LPARAM lParam);

// Removes every queued payload-carrying message for `window` from this thread's queue and frees
// its payload. Called once the window's post target is closed.
void DrainQueuedPayloads(HWND window);

}  // namespace zovrel::ui
