#pragma once

// The program's one visible window: the clipboard page (history list, log pane, connection
// bar), the serial settings page and the system page. It is also the core's Notifier: every post
// becomes one of the window messages in ui_ids.h with a heap payload.

#include <windows.h>

#include <memory>
#include <string>

#include "base/notifier.h"
#include "ui/window_base_win32.h"

namespace zovrel {
class SerialLink;
class ClipboardHistory;
class CZovrelClipboardWatcher;
}  // namespace zovrel

namespace zovrel::ui {

class CZovrelMainWnd : public WindowBase, public Notifier {
  public:
    // `history` is the store the list shows (the process's store in the program).
    explicit CZovrelMainWnd(ClipboardHistory& history);
    ~CZovrelMainWnd() override;

    // Registers the class and creates the window (hidden) with `owner` as owner; runs the
    // creation steps. False when the window does not exist.
    bool Create(HWND owner);

    // Not owned; may be null. Set by the host frame after creation.
    void SetSerialLink(SerialLink* link);
    // Not owned; may be null. Its window owns what the program writes to the clipboard, and it
    // learns which clipboard content is the program's own.
    void SetClipboardWatcher(CZovrelClipboardWatcher* watcher);

    int CurrentPage() const;
    void SwitchPage(int page);
    void ShowOnPage(int page);
    void RefreshHistoryList();
    void RefreshConnectionControls();
    void UpdateTransferControls();
    void ShowTransferProgress(int percent, const std::wstring& text);
    void AppendLogLine(const std::wstring& text);

    // Notifier: posts from any thread; false (payload freed) when the window is gone.
    bool PostHistoryChanged() override;
    bool PostSerialStateChanged() override;
    bool PostLogText(std::wstring line) override;
    bool PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) override;
    bool PostSendProgress(int percent, std::wstring text) override;
    bool PostSendResult(bool success, std::wstring text) override;

    // The rest (controls, layout, painting, handlers) is declared below by the window's own code.
};

}  // namespace zovrel::ui
