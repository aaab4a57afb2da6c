#pragma once

// The program's one visible window: the clipboard page (history list, log pane, connection
// bar), the serial settings page and the system page. It is also the core's Notifier: every post
// becomes one of the window messages in ui_ids.h with a heap payload.

#include <windows.h>
// HDROP, after <windows.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/notifier.h"
#include "base/win32_handle.h"
#include "serial/port_enumeration.h"
#include "ui/history_list_win32.h"
#include "ui/hotkey_rules.h"
#include "ui/hover_preview_win32.h"
#include "ui/main_window_layout.h"
#include "ui/main_window_notifier_win32.h"
#include "ui/main_window_rules.h"
#include "ui/notice_rules.h"
#include "ui/pane_splitter_win32.h"
#include "ui/window_base_win32.h"

namespace zovrel {
class SerialLink;
class PortRequests;
class ClipboardHistory;
class CZovrelClipboardWatcher;
}  // namespace zovrel

namespace zovrel::ui {

class CTrayNotifyIcon;

class CZovrelMainWnd : public WindowBase, public Notifier, public SplitterOwner {
  public:
    // `history` is the store the list shows (the process's store in the program).
    explicit CZovrelMainWnd(ClipboardHistory& history);
    ~CZovrelMainWnd() override;

    // Registers the class and creates the window (hidden) with `owner` as owner; runs the
    // creation steps. False when the window does not exist.
    bool Create(HWND owner);

    // Not owned; may be null. Set by the host frame after creation. The window reads the link's
    // state and opens and closes its port only through `requests` (null: on its own thread).
    void SetSerialLink(SerialLink* link, PortRequests* requests = nullptr);
    // Not owned; may be null. Its window owns what the program writes to the clipboard, and it
    // learns which clipboard content is the program's own.
    void SetClipboardWatcher(CZovrelClipboardWatcher* watcher);
    // Not owned; may be null. Notices and a hidden send's progress go to it.
    void SetTrayIcon(CTrayNotifyIcon* tray) { tray_ = tray; }

    // Registers the two global hotkeys from the settings (again), on this window. One another
    // program holds is left out and shows "已被占用" on the system page.
    void RegisterHotkeys();
    bool HotkeyTaken(HotkeyAction action) const {
        return hotkeyTaken_[action == HotkeyAction::Show ? 0 : 1];
    }
    // A click on the last notice: its folder opened, or the window shown.
    void OnNoticeClicked();
    const Notice& LastNotice() const { return lastNotice_; }

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
    bool PostHistoryFull() override;
    bool PostReceiveFailed() override;

    // SplitterOwner.
    void OnSplitterDragStart() override;
    void OnSplitterDrag(int direction, int delta) override;
    void OnSplitterDragEnd() override;

    // What the window asks of the desktop beyond itself: modal boxes, the shell, the port list.
    // Each has the real behaviour by default; tests replace them so nothing modal or external
    // runs. A replaced function that is empty keeps the default.
    struct DesktopActions {
        // MessageBoxW with the caption "zovrel"; returns the button pressed.
        std::function<int(HWND owner, const std::wstring& text, UINT type)> messageBox;
        // ShellExecuteW "open" on an existing folder; true when the shell accepted.
        std::function<bool(const std::wstring& folder)> openFolder;
        // The About dialog, modal.
        std::function<void(HWND owner)> showAbout;
        // The present serial ports.
        std::function<std::vector<PortInfo>()> enumeratePorts;
    };
    void SetDesktopActions(DesktopActions actions);

    // The child window of a control by its number in the controls table (1..25; 7 is the
    // preview pop-up), or of the system page's notices box and hotkeys (26..32); null for
    // other numbers or before creation.
    HWND ControlWindow(int number) const;
    CZovrelHistoryListBox& HistoryList() { return list_; }
    CZovrelHoverPreviewWnd& Preview() { return preview_; }
    int SplitPosition() const { return splitPosition_; }
    // Forces High Contrast on or off (tests; Wine always reports it off); none follows the
    // system again.
    void ForceHighContrast(std::optional<bool> on);
    bool HighContrast() const { return highContrast_; }
    int Dpi() const { return dpi_; }
    bool LogShown() const { return logShown_; }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // Creation and controls (main_window_win32.cpp).
    bool OnCreate();
    void CreateControls();
    HWND AddControl(int number, const wchar_t* className, const wchar_t* text, DWORD style, int id);
    static void ShowControl(HWND control, bool shown);
    void CreateFonts();
    void ApplyFonts();
    void LoadMenuButtonPicture();
    void OnDpiChanged(int dpi, const RECT* suggested);
    ClientSize MinimumWindowSize(int page) const;
    void FitIntoWorkArea();
    // Size and position in the settings file, 96-DPI pixels; read once at creation.
    void RestorePlacement();
    void SavePlacement();
    void OnClose();
    // Keyboard focus: the controls' Tab order, the first control of a page, focus kept over
    // deactivation, and a focused control that is disabled handing the focus on.
    void ApplyTabOrder();
    void FocusFirstControl();
    void OnActivate(bool active);
    void EnableControl(int number, bool enabled);
    // High Contrast: the system's setting unless a test forced one.
    void ApplyContrast();
    void OnDestroyed();

    // Layout and painting (main_window_layout_win32.cpp).
    ClientSize CurrentClientSize() const;
    void LayoutControls(int width, int height);
    void LayoutControls();
    void PaintBands(HDC dc) const;
    LRESULT ControlColour(UINT message, HDC dc, HWND control);
    void RedrawContentBand();

    // Commands and notifications (main_window_commands_win32.cpp).
    void OnCommand(int id, int code);
    void ShowMenuButtonMenu();
    void ClearLog();
    void ClearHistory();
    void OnPortComboNotification(int code);
    void OnPortComboEvent(PortComboEvent event);
    void OnPortComboSelection();
    void ShowOpenFailure();
    void Connect();
    void Disconnect();
    void CancelSend();
    void Save();
    void OpenPort(const std::wstring& name);
    LRESULT OnHistoryActivate(int index);
    LRESULT OnHistoryDelete(int index);
    LRESULT OnHistoryOpenFolder(int index);
    LRESULT OnHistorySend(int index);
    LRESULT OnHistoryPin(int index);
    // Starts the send of a copy of `entry` on its own thread, or says in the status line why not.
    void StartSend(ClipboardEntry entry);
    // Files dropped on the window become the newest entry and are sent.
    void OnDropFiles(HDROP drop);
    void OnSendResult(bool success, std::wstring* text);
    void OnSendProgress(int percent, std::wstring* text);
    void OnReceivedEntry(ClipboardEntry* entry);
    void PutEntryOnClipboard(const ClipboardEntry& entry, bool filesChecked = false);
    void CheckFilesThenPutOnClipboard(ClipboardEntry entry);
    void OnFilesChecked(ClipboardEntry* entry);
    // The number of lines it removed.
    int TrimLogPane();
    void FillClipboardPortCombo();
    void FitDropDownWidth(HWND combo);
    void FillSettingsPortCombo();
    std::vector<PortInfo> EnumeratePorts() const;
    bool OpenEntryFolder(const ClipboardEntry& entry);
    bool OpenFolder(const std::wstring& folder);

    // Hotkeys and notices (main_window_notices_win32.cpp).
    void OnHotkey(int id);
    // The row of the current entry (the one last added or promoted); -1 when there is none.
    int CurrentEntryRow() const;
    void ShowSystemPageSettings();
    // The notices box and the hotkeys: refused (nothing saved), saved, or saved with a changed
    // hotkey that another program holds (the page stays to say so).
    enum class HotkeySave { Refused, Saved, Taken };
    HotkeySave SaveSystemPage();
    bool WindowHidden() const;
    void ShowNotice(const Notice& notice);
    // The status line and, with the window hidden, a notice.
    void ShowSendFailure(const std::wstring& reason);
    void ShowSendProgressInTray();
    void EndSendInTray(bool success, const std::wstring& reason);
    void SetStatusText(const std::wstring& text);
    int AskMessageBox(const std::wstring& text, UINT type);

    ClipboardHistory& history_;
    int currentPage_ = 0;
    int dpi_ = DEFAULT_DPI;
    // "Segoe UI Bold" 9 pt for headings, "Consolas" 8.5 pt for the log, "Segoe UI" 9 pt for the
    // rest, so no control falls back to the bitmap system font.
    UniqueFont boldFont_;
    UniqueFont logFont_;
    UniqueFont uiFont_;
    UniqueBrush backgroundBrush_;
    // Child windows by their number in the controls table; [0] is unused.
    std::array<HWND, 33> controls_{};
    CZovrelHistoryListBox list_;
    CZovrelHoverPreviewWnd preview_;
    std::vector<std::wstring> portNames_;
    UniqueBitmap menuButtonPicture_;
    std::vector<std::wstring> settingsPortNames_;
    SerialLink* serialLink_ = nullptr;
    PortRequests* portRequests_ = nullptr;
    // The debug-log setting, read when a page is shown and when the settings page saves: log
    // lines come ten times a second during a transfer and must not read the settings file each.
    bool debugLog_ = false;
    CZovrelClipboardWatcher* watcher_ = nullptr;
    bool fillingPortCombo_ = false;
    // The port the window last asked to open (empty after "断开"): while a request is under way
    // it stands for the port open, so the same choice seen twice opens once.
    std::wstring requestedPort_;
    // The status bar shows why a port failed to open; cleared when one opens.
    bool openFailureShown_ = false;
    int splitPosition_ = INITIAL_SPLIT_POSITION;
    CZovrelPaneSplitter splitter_;

    bool logShown_ = false;
    HWND focusToRestore_ = nullptr;
    bool highContrast_ = false;
    std::optional<bool> forcedContrast_;
    DesktopActions actions_;
    CTrayNotifyIcon* tray_ = nullptr;
    // What the system page's hotkey controls were loaded with (they cannot show Win).
    std::array<Hotkey, 2> shownHotkeys_{};
    std::array<bool, 2> hotkeyTaken_{};
    Notice lastNotice_;
    // What the running send sends, for the notice that tells it arrived.
    std::wstring sendSummary_;
    bool trayShowsProgress_ = false;
    // Shared with every running send task, so their posts stop when the window goes.
    std::shared_ptr<WindowPostTarget> postTarget_;
    WindowNotifier notifier_;
};

}  // namespace zovrel::ui
