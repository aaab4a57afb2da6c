// The main window: what its buttons, combo boxes and menu do, and how it follows the posts of
// the serial link, the transfer engine, the watcher and the protocol log.

#include "ui/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include "base/local_time.h"
#include "base/text.h"
#include "clipboard/clipboard_access.h"
#include "clipboard/clipboard_watcher.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"
#include "serial/port_requests.h"
#include "serial/serial_link.h"
#include "settings/autostart.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"
#include "ui/about_dialog_win32.h"
#include "ui/drop_rules.h"
#include "ui/keyboard_rules.h"
#include "ui/main_window_rules.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

// One send, on its own thread, with its own copy of the entry. It reaches the window only
// through posts, so it may outlive the window.
void SendTask(WindowNotifier window, ClipboardEntry entry) {
    std::wstring error;
    const bool sent = GetTransferProtocol().Send(entry, &window, error);
    window.PostSendResult(sent, sent ? std::wstring() : SendFailureText(error));
}

bool IsChecked(HWND checkBox) {
    return ::SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Ends the drag-and-drop operation whatever happens to the drop.
struct DropScope {
    HDROP drop;
    ~DropScope() { ::DragFinish(drop); }
};

DroppedPath Examine(std::wstring path) {
    DroppedPath dropped{std::move(path), DroppedKind::Missing, 0};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(dropped.path.c_str(), GetFileExInfoStandard, &data)) {
        const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        dropped.kind = folder ? DroppedKind::Folder : DroppedKind::File;
        if (!folder) {
            dropped.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                                data.nFileSizeLow);
        }
    }
    return dropped;
}

}  // namespace

void CZovrelMainWnd::OnCommand(int id, int code) {
    switch (id) {
        case IDC_MENU_BUTTON:
            ShowMenuButtonMenu();
            break;
        case ID_MENU_SERIAL_SETTINGS:
            ShowOnPage(PAGE_SERIAL_SETTINGS);
            break;
        case ID_MENU_SYSTEM:
            ShowOnPage(PAGE_SYSTEM);
            break;
        case ID_MENU_ABOUT:
            if (actions_.showAbout) {
                actions_.showAbout(Hwnd());
            } else {
                CZovrelAboutDlg(Hwnd()).DoModal();
            }
            break;
        case IDC_CLEAR_LOG:
            ClearLog();
            break;
        case IDC_CLEAR_HISTORY:
            ClearHistory();
            break;
        case IDC_PORT_COMBO:
            OnPortComboNotification(code);
            break;
        case IDC_CONNECT:
            Connect();
            break;
        case IDC_DISCONNECT:
            Disconnect();
            break;
        case IDC_CANCEL_SEND:
            CancelSend();
            break;
        case IDC_SAVE:
            Save();
            break;
        case IDC_CANCEL_SETTINGS:
            SwitchPage(PAGE_CLIPBOARD);
            break;
        case IDCANCEL:  // Esc, from the dialog manager
            if (EscapeActionFor(currentPage_) == EscapeAction::HideWindow) {
                OnClose();
            } else {
                SwitchPage(PAGE_CLIPBOARD);
            }
            break;
        case ID_TRAY_EXIT:
            // The tray's own "退出", so the host frame ends the program the one way it knows.
            if (HWND host = ::GetWindow(Hwnd(), GW_OWNER)) {
                ::PostMessageW(host, WM_COMMAND, ID_TRAY_EXIT, 0);
            }
            break;
        default:
            break;
    }
}

void CZovrelMainWnd::ShowMenuButtonMenu() {
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu.IsValid()) {
        return;
    }
    ::AppendMenuW(menu.Get(), MF_STRING, ID_MENU_SERIAL_SETTINGS, main_texts::kMenuSerialSettings);
    ::AppendMenuW(menu.Get(), MF_STRING, ID_MENU_SYSTEM, main_texts::kMenuSystem);
    ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.Get(), MF_STRING, ID_MENU_ABOUT, main_texts::kMenuAbout);
    // For a user who never finds the tray icon.
    ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.Get(), MF_STRING, ID_TRAY_EXIT, main_texts::kMenuExit);
    RECT button{};
    ::GetWindowRect(controls_[2], &button);
    ::TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, button.left,
                     button.bottom, 0, Hwnd(), nullptr);
}

int CZovrelMainWnd::AskMessageBox(const std::wstring& text, UINT type) {
    if (actions_.messageBox) {
        return actions_.messageBox(Hwnd(), text, type);
    }
    return ::MessageBoxW(Hwnd(), text.c_str(), main_texts::kCaption, type);
}

void CZovrelMainWnd::SetStatusText(const std::wstring& text) {
    ::SetWindowTextW(controls_[10], text.c_str());
    openFailureShown_ = false;
}

// Why the last open failed stays in the status bar, log shown or not, until a port opens (the
// reader's reconnect included) or the port is closed; any other status replaces it.
void CZovrelMainWnd::ShowOpenFailure() {
    if (serialLink_ == nullptr || (portRequests_ != nullptr && portRequests_->Busy())) {
        return;
    }
    const std::wstring failed = serialLink_->OpenFailure();
    if (!failed.empty()) {
        SetStatusText(FormatText(main_texts::kPortOpenFailed, failed.c_str()));
        openFailureShown_ = true;
    } else if (openFailureShown_) {
        SetStatusText(L"");
    }
}

void CZovrelMainWnd::ClearLog() {
    ::SetWindowTextW(controls_[5], L"");
    AppendLogLine(main_texts::kLogCleared);
}

void CZovrelMainWnd::ClearHistory() {
    // Pinned entries stay; with nothing else there is nothing to clear.
    const int pinned = history_.GetPinnedCount();
    if (history_.GetEntryCount() == pinned) {
        return;
    }
    // "否" is the default: an Enter pressed too early must not wipe the history.
    const wchar_t* question =
        pinned > 0 ? main_texts::kConfirmClearUnpinned : main_texts::kConfirmClearHistory;
    if (AskMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    // What is still on the clipboard must not come back as an entry.
    if (watcher_ != nullptr) {
        watcher_->MarkClipboardAsOwn();
    }
    history_.ClearHistory();
    RefreshHistoryList();
}

void CZovrelMainWnd::OnPortComboNotification(int code) {
    if (fillingPortCombo_) {
        return;
    }
    switch (code) {
        case CBN_DROPDOWN:
            ::KillTimer(Hwnd(), PORT_CHOICE_TIMER);
            FillClipboardPortCombo();
            break;
        case CBN_SELCHANGE:
            OnPortComboEvent(PortComboEvent::SELECTION_MOVED);
            break;
        case CBN_CLOSEUP:
        case CBN_SELENDOK:
            OnPortComboEvent(PortComboEvent::LIST_CLOSED);
            break;
        default:
            break;
    }
}

void CZovrelMainWnd::OnPortComboEvent(PortComboEvent event) {
    const bool dropped = ::SendMessageW(controls_[11], CB_GETDROPPEDSTATE, 0, 0) != FALSE;
    switch (PortComboActionFor(event, dropped)) {
        case PortComboAction::START_DELAY:
            ::SetTimer(Hwnd(), PORT_CHOICE_TIMER, PORT_CHOICE_DELAY_MS, nullptr);
            break;
        case PortComboAction::CHOOSE:
            ::KillTimer(Hwnd(), PORT_CHOICE_TIMER);
            OnPortComboSelection();
            break;
        case PortComboAction::NONE:
            break;
    }
}

void CZovrelMainWnd::OnPortComboSelection() {
    if (serialLink_ == nullptr) {
        return;
    }
    const int selected = static_cast<int>(::SendMessageW(controls_[11], CB_GETCURSEL, 0, 0));
    const std::wstring name = PortNameAt(portNames_, selected);
    const bool busy = portRequests_ != nullptr && portRequests_->Busy();
    const std::wstring current = busy ? requestedPort_ : serialLink_->PortName();
    const bool openOrOpening = busy ? !requestedPort_.empty() : serialLink_->IsOpen();
    if (!PortChoiceOpens(name, current, openOrOpening)) {
        return;
    }
    WriteUartComPort(name);
    OpenPort(name);
}

void CZovrelMainWnd::Connect() {
    if (serialLink_ == nullptr) {
        return;
    }
    const int selected = static_cast<int>(::SendMessageW(controls_[11], CB_GETCURSEL, 0, 0));
    const std::wstring port =
        ChooseConnectPort(ReadUartComPort(), PortNameAt(portNames_, selected));
    if (port.empty()) {
        ShowOnPage(PAGE_SERIAL_SETTINGS);
        return;
    }
    WriteUartComPort(port);
    OpenPort(port);
}

// The bar shows the port closed until the open ends, and then its new state (posted).
void CZovrelMainWnd::OpenPort(const std::wstring& name) {
    requestedPort_ = name;
    if (portRequests_ != nullptr) {
        portRequests_->Open(name);
    } else if (serialLink_ != nullptr) {
        serialLink_->Open(name);
    }
    RefreshConnectionControls();
}

// Also cancels an open not yet under way.
void CZovrelMainWnd::Disconnect() {
    requestedPort_.clear();
    if (portRequests_ != nullptr) {
        portRequests_->Close();
    } else if (serialLink_ != nullptr) {
        serialLink_->Close();
    }
    RefreshConnectionControls();
}

void CZovrelMainWnd::CancelSend() {
    TransferProtocol& engine = GetTransferProtocol();
    if (!engine.IsSending()) {
        return;
    }
    engine.CancelSend();
    ShowTransferProgress(-1, main_texts::kCancelling);
    EnableControl(17, false);
}

void CZovrelMainWnd::Save() {
    if (currentPage_ == PAGE_SYSTEM) {
        const HotkeySave hotkeys = SaveSystemPage();
        if (hotkeys == HotkeySave::Refused) {
            return;
        }
        const bool on = IsChecked(controls_[22]);
        WriteAutostart(on);
        if (!SetAutostart(on)) {
            AskMessageBox(main_texts::kAutostartFailed, MB_OK | MB_ICONEXCLAMATION);
        }
        // A hotkey just chosen that another program holds: the page stays and says so.
        SwitchPage(hotkeys == HotkeySave::Taken ? PAGE_SYSTEM : PAGE_CLIPBOARD);
        return;
    }
    const int selected = static_cast<int>(::SendMessageW(controls_[20], CB_GETCURSEL, 0, 0));
    const std::wstring name = PortNameAt(settingsPortNames_, selected);
    if (name.empty()) {
        AskMessageBox(main_texts::kChoosePort, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WriteUartComPort(name);
    debugLog_ = IsChecked(controls_[21]);
    WriteUartDebugLog(debugLog_);
    OpenPort(name);
    SwitchPage(PAGE_CLIPBOARD);
}

void CZovrelMainWnd::PutEntryOnClipboard(const ClipboardEntry& entry, bool filesChecked) {
    OwnClipboardWriteScope ownWrite;
    HWND owner = watcher_ != nullptr && watcher_->Window() != nullptr ? watcher_->Window() : Hwnd();
    if (WriteEntryToClipboard(entry, owner, filesChecked)) {
        if (watcher_ != nullptr) {
            watcher_->MarkClipboardAsOwn();
        }
        SetStatusText(L"");
    } else {
        SetStatusText(main_texts::kClipboardWriteFailed);
    }
}

LRESULT CZovrelMainWnd::OnHistoryActivate(int index) {
    std::optional<ClipboardEntry> entry = history_.GetEntryAt(index);
    if (!entry.has_value()) {
        return 0;
    }
    if (entry->kind == ENTRY_KIND_IMAGE && !entry->image.Empty()) {
        // An image file that can no longer be read changes neither the list nor the clipboard.
        SharedBytes bytes;
        if (!entry->image.Read(bytes)) {
            SetStatusText(main_texts::kClipboardWriteFailed);
            return 0;
        }
        entry->image = StoredImage(std::move(bytes));
    }
    history_.MoveEntryToTop(index);
    if (entry->kind == ENTRY_KIND_FILES && !entry->files.empty()) {
        // Which paths still exist is asked on a thread of its own: a path on a share that does
        // not answer would hold the window, and the open clipboard, for many seconds.
        CheckFilesThenPutOnClipboard(std::move(*entry));
    } else {
        PutEntryOnClipboard(*entry);
    }
    RefreshHistoryList();
    return 0;
}

void CZovrelMainWnd::CheckFilesThenPutOnClipboard(ClipboardEntry entry) {
    auto check = [target = postTarget_](ClipboardEntry copy) {
        copy.files = ExistingPaths(copy.files);
        auto checked = std::make_unique<ClipboardEntry>(std::move(copy));
        if (target->Post(WM_FILES_CHECKED, 0, reinterpret_cast<LPARAM>(checked.get()))) {
            checked.release();
        }
    };
    try {
        std::thread(check, std::move(entry)).detach();
    } catch (const std::system_error&) {
        SetStatusText(main_texts::kClipboardWriteFailed);
    }
}

void CZovrelMainWnd::OnFilesChecked(ClipboardEntry* entry) {
    std::unique_ptr<ClipboardEntry> owned(entry);
    if (owned != nullptr) {
        PutEntryOnClipboard(*owned, true);
    }
}

LRESULT CZovrelMainWnd::OnHistoryDelete(int index) {
    // The stored fingerprint: no image is read and hashed on the window's thread for a delete.
    const std::wstring fingerprint = history_.GetFingerprintAt(index);
    if (history_.RemoveEntry(index)) {
        // Still on the clipboard, it must not come back at the next clipboard event.
        if (watcher_ != nullptr) {
            watcher_->SetOwnWriteFingerprint(fingerprint);
        }
        RefreshHistoryList();
        SetStatusText(L"");
    }
    return 0;
}

LRESULT CZovrelMainWnd::OnHistoryOpenFolder(int index) {
    const std::optional<ClipboardEntry> entry = history_.GetEntryAt(index);
    if (!entry.has_value()) {
        return 0;
    }
    SetStatusText(OpenEntryFolder(*entry) ? L"" : main_texts::kOpenFolderFailed);
    return 0;
}

LRESULT CZovrelMainWnd::OnHistorySend(int index) {
    std::optional<ClipboardEntry> entry = history_.GetEntryAt(index);
    if (entry.has_value()) {
        StartSend(std::move(*entry));
    }
    return 0;
}

void CZovrelMainWnd::StartSend(ClipboardEntry entry) {
    if (serialLink_ == nullptr || !serialLink_->IsOpen()) {
        ShowSendFailure(main_texts::kPortNotOpen);
        return;
    }
    if (GetTransferProtocol().IsSending()) {
        ShowSendFailure(main_texts::kSendBusy);
        return;
    }
    sendSummary_ = EntrySummary(entry);
    try {
        std::thread(SendTask, WindowNotifier(postTarget_), std::move(entry)).detach();
    } catch (const std::system_error&) {
        ShowSendFailure(main_texts::kSendTaskFailed);
        return;
    }
    SetStatusText(L"");
    UpdateTransferControls();
}

LRESULT CZovrelMainWnd::OnHistoryPin(int index) {
    const std::optional<ClipboardEntry> entry = history_.GetEntryAt(index);
    if (!entry.has_value()) {
        return 0;
    }
    const int at = history_.SetPinned(index, !entry->pinned);
    RefreshHistoryList();
    // The row the user acted on stays the selected one wherever it went.
    if (at >= 0) {
        ::SendMessageW(list_.Hwnd(), LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
    return 0;
}

void CZovrelMainWnd::OnDropFiles(HDROP drop) {
    if (drop == nullptr) {
        return;
    }
    std::vector<DroppedPath> dropped;
    {
        const DropScope finish{drop};
        const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(static_cast<size_t>(length) + 1, L'\0');
            path.resize(::DragQueryFileW(drop, i, path.data(), length + 1));
            if (!path.empty()) {
                dropped.push_back(Examine(std::move(path)));
            }
        }
    }
    const DropPlan plan = PlanDrop(dropped, GetTransferProtocol().IsSending(), FileTimeNow());
    if (!plan.add) {
        SetStatusText(plan.status);
        return;
    }
    // As if copied: an entry of the same files moves up instead of being added twice.
    bool fullOfPins = false;
    if (!history_.PromoteMatchingEntry(plan.entry)) {
        history_.AddEntry(plan.entry, &fullOfPins);
    }
    RefreshHistoryList();
    if (plan.send) {
        StartSend(plan.entry);
    }
    if (fullOfPins) {
        SetStatusText(main_texts::kHistoryFullOfPins);
    } else if (!plan.status.empty()) {
        SetStatusText(plan.status);
    }
}

void CZovrelMainWnd::OnSendResult(bool success, std::wstring* text) {
    std::unique_ptr<std::wstring> owned(text);
    UpdateTransferControls();
    if (success) {
        SetStatusText(L"");
    } else if (owned != nullptr) {
        SetStatusText(*owned);
    }
    EndSendInTray(success, owned != nullptr ? *owned : std::wstring(main_texts::kSendFailed));
}

void CZovrelMainWnd::OnSendProgress(int percent, std::wstring* text) {
    std::unique_ptr<std::wstring> owned(text);
    ShowTransferProgress(percent, owned != nullptr ? *owned : std::wstring());
    UpdateTransferControls();
    ShowSendProgressInTray();
}

void CZovrelMainWnd::OnReceivedEntry(ClipboardEntry* entry) {
    std::unique_ptr<ClipboardEntry> owned(entry);
    if (owned == nullptr) {
        return;
    }
    bool fullOfPins = false;
    history_.AddEntry(*owned, &fullOfPins);
    RefreshHistoryList();
    PutEntryOnClipboard(*owned);
    // Not kept in the history, it is still on the clipboard (and a file in its folder).
    if (fullOfPins) {
        SetStatusText(main_texts::kHistoryFullOfPins);
    }
    if (ReadNotifyOnReceive()) {
        ShowNotice(ReceivedNotice(*owned));
    }
}

void CZovrelMainWnd::ShowTransferProgress(int percent, const std::wstring& text) {
    if (!IsCreated()) {
        return;
    }
    if (const auto shown = TransferTextFor(percent, text)) {
        ::SetWindowTextW(controls_[15], shown->c_str());
    }
    ProgressBarState bar = ProgressBarFor(percent, GetTransferProtocol().IsSending());
    // The bar belongs to the history page's connection bar; a settings page never shows it.
    bar.shown = bar.shown && currentPage_ == PAGE_CLIPBOARD;
    if (bar.shown) {
        ::SendMessageW(controls_[16], PBM_SETPOS, static_cast<WPARAM>(bar.position), 0);
    }
    ShowControl(controls_[16], bar.shown);
}

void CZovrelMainWnd::UpdateTransferControls() {
    if (!IsCreated()) {
        return;
    }
    const bool sending = GetTransferProtocol().IsSending();
    EnableControl(17, sending);
    if (!sending) {
        ShowControl(controls_[16], false);
    }
}

void CZovrelMainWnd::RefreshConnectionControls() {
    if (!IsCreated()) {
        return;
    }
    if (serialLink_ != nullptr) {
        // While an open or close is under way the port counts as closed, and "断开" can stop it.
        const bool busy = portRequests_ != nullptr && portRequests_->Busy();
        const bool open = !busy && serialLink_->IsOpen();
        const bool connectOn = !open;
        const bool disconnectOn = open || busy;
        // Buttons coming on go first, so a focused one going off can hand the focus on.
        if (connectOn)
            EnableControl(12, true);
        if (disconnectOn)
            EnableControl(13, true);
        if (!connectOn)
            EnableControl(12, false);
        if (!disconnectOn)
            EnableControl(13, false);
        ::SetWindowTextW(controls_[14], open ? main_texts::kStateOpen : main_texts::kStateClosed);
        ShowOpenFailure();
    } else {
        ::SetWindowTextW(controls_[14], L"");
    }
    UpdateTransferControls();
}

void CZovrelMainWnd::RefreshHistoryList() {
    if (!list_.IsCreated()) {
        return;
    }
    if (preview_.IsCreated()) {
        preview_.HidePreview();
    }
    HWND list = list_.Hwnd();
    const int topIndex = static_cast<int>(::SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    const int selection = static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
    const int rowCount = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    const int count = history_.GetEntryCount();
    const HistoryListPlace place = PlaceHistoryList(rowCount, topIndex, selection, count);
    // Thumbnails belong to an entry, whose content never changes: they survive a change in the
    // number of entries. Only an image that could not be read is tried again.
    list_.RetryUnreadThumbnails();

    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        const std::wstring row = HistoryRowText(i);
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    if (count > 0) {
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(place.selection), 0);
        ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(place.topIndex), 0);
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void CZovrelMainWnd::AppendLogLine(const std::wstring& text) {
    HWND pane = IsCreated() ? controls_[5] : nullptr;
    if (text.empty() || pane == nullptr || !debugLog_) {
        return;
    }
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof(scroll);
    scroll.fMask = SIF_ALL;
    const bool infoRead = ::GetScrollInfo(pane, SB_VERT, &scroll) != FALSE;
    const bool atEnd =
        IsScrolledToEnd(infoRead, scroll.nMax, scroll.nPos, static_cast<int>(scroll.nPage));
    const int firstVisible = static_cast<int>(::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0));
    DWORD selectionStart = 0;
    DWORD selectionEnd = 0;
    ::SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                   reinterpret_cast<LPARAM>(&selectionEnd));
    const int lengthBefore = ::GetWindowTextLengthW(pane);
    const int removedLines = TrimLogPane();
    const int removedChars = std::max(lengthBefore - ::GetWindowTextLengthW(pane), 0);

    const int length = ::GetWindowTextLengthW(pane);
    if (length == 0) {
        ::SetWindowTextW(pane, text.c_str());
    } else {
        ::SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
        if (atEnd) {
            ::SendMessageW(pane, EM_SCROLLCARET, 0, 0);
        }
        const std::wstring line = L"\r\n" + text;
        ::SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    }
    if (atEnd) {
        const int end = ::GetWindowTextLengthW(pane);
        ::SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
        ::SendMessageW(pane, EM_SCROLLCARET, 0, 0);
        ::SendMessageW(pane, EM_SCROLLCARET, 0, 0);
        return;
    }
    // Someone is reading older lines: keep the same lines in view, whatever the trim removed.
    // The user's selection stays too (moved with the text a trim cut away), so copying from a
    // busy log works.
    const auto kept = [removedChars](DWORD at) {
        return static_cast<WPARAM>(std::max(static_cast<int>(at) - removedChars, 0));
    };
    ::SendMessageW(pane, EM_SETSEL, kept(selectionStart), static_cast<LPARAM>(kept(selectionEnd)));
    const int wanted = std::max(firstVisible - removedLines, 0);
    const int now = static_cast<int>(::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0));
    ::SendMessageW(pane, EM_LINESCROLL, 0, static_cast<LPARAM>(wanted - now));
}

int CZovrelMainWnd::TrimLogPane() {
    HWND pane = controls_[5];
    const std::optional<int> cut = LogTrimCut(::GetWindowTextLengthW(pane));
    if (!cut.has_value()) {
        return 0;
    }
    const LRESULT line = ::SendMessageW(pane, EM_LINEFROMCHAR, static_cast<WPARAM>(*cut), 0);
    const int lineStart =
        line < 0 ? -1 : static_cast<int>(::SendMessageW(pane, EM_LINEINDEX, line, 0));
    const int end = LogTrimEnd(*cut, lineStart);
    if (end <= 0) {
        return 0;
    }
    const int removedLines =
        static_cast<int>(::SendMessageW(pane, EM_LINEFROMCHAR, static_cast<WPARAM>(end), 0));
    ::SendMessageW(pane, EM_SETSEL, 0, static_cast<LPARAM>(end));
    ::SendMessageW(pane, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    return std::max(removedLines, 0);
}

std::vector<PortInfo> CZovrelMainWnd::EnumeratePorts() const {
    if (serialLink_ == nullptr) {
        return {};
    }
    return actions_.enumeratePorts ? actions_.enumeratePorts() : zovrel::EnumeratePorts();
}

void CZovrelMainWnd::FillClipboardPortCombo() {
    HWND combo = controls_[11];
    if (combo == nullptr) {
        return;
    }
    fillingPortCombo_ = true;
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    portNames_.clear();
    for (const PortInfo& port : EnumeratePorts()) {
        portNames_.push_back(port.portName);
        const std::wstring text = ClipboardPortText(port);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    const std::wstring saved = TrimText(ReadUartComPort());
    const ClipboardPortChoice choice = ChooseClipboardPort(portNames_, saved);
    if (choice.appendSavedPort) {
        portNames_.push_back(saved);
        const std::wstring text = MissingPortText(saved);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(choice.selected), 0);
    FitDropDownWidth(combo);
    fillingPortCombo_ = false;
}

// The drop-down is as wide as its widest item, however narrow the combo itself.
void CZovrelMainWnd::FitDropDownWidth(HWND combo) {
    WindowDC dc(combo);
    if (!dc.IsValid()) {
        return;
    }
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(combo, WM_GETFONT, 0, 0));
    const HGDIOBJ old = font != nullptr ? ::SelectObject(dc.Get(), font) : nullptr;
    int widest = 0;
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length <= 0) {
            continue;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(text.data()));
        SIZE size{};
        ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(length), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    if (old != nullptr) {
        ::SelectObject(dc.Get(), old);
    }
    const UINT dpi = static_cast<UINT>(dpi_);
    const int width = widest + ::GetSystemMetricsForDpi(SM_CXVSCROLL, dpi) +
                      4 * ::GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    ::SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

void CZovrelMainWnd::FillSettingsPortCombo() {
    HWND combo = controls_[20];
    if (combo == nullptr) {
        return;
    }
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    settingsPortNames_.clear();
    for (const PortInfo& port : EnumeratePorts()) {
        settingsPortNames_.push_back(port.portName);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.displayText.c_str()));
    }
    const int selected = ChooseSettingsPort(settingsPortNames_, ReadUartComPort());
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

bool CZovrelMainWnd::OpenEntryFolder(const ClipboardEntry& entry) {
    const std::wstring folder = EntryFolderPath(entry);
    if (folder.empty()) {
        return false;
    }
    return OpenFolder(folder);
}

bool CZovrelMainWnd::OpenFolder(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    if (actions_.openFolder) {
        return actions_.openFolder(folder);
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(Hwnd(), L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace zovrel::ui
