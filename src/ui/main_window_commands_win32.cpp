// The main window: what its buttons, combo boxes and menu do, and how it follows the posts of
// the serial link, the transfer engine, the watcher and the protocol log.

#include "ui/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include "base/text.h"
#include "clipboard/clipboard_access.h"
#include "clipboard/clipboard_watcher.h"
#include "clipboard/fingerprint.h"
#include "clipboard/history_store.h"
#include "clipboard/own_write_guard.h"
#include "serial/serial_link.h"
#include "settings/autostart.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"
#include "ui/about_dialog_win32.h"
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
            if (code == CBN_SELCHANGE) {
                OnPortComboSelection();
            }
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
}

void CZovrelMainWnd::ClearLog() {
    ::SetWindowTextW(controls_[5], L"");
    AppendLogLine(main_texts::kLogCleared);
}

void CZovrelMainWnd::ClearHistory() {
    if (history_.GetEntryCount() == 0) {
        return;
    }
    if (AskMessageBox(main_texts::kConfirmClearHistory, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    // What is still on the clipboard must not come back as an entry.
    if (watcher_ != nullptr) {
        watcher_->MarkClipboardAsOwn();
    }
    history_.ClearHistory();
    RefreshHistoryList();
}

void CZovrelMainWnd::OnPortComboSelection() {
    if (fillingPortCombo_ || serialLink_ == nullptr) {
        return;
    }
    const int selected = static_cast<int>(::SendMessageW(controls_[11], CB_GETCURSEL, 0, 0));
    if (selected < 0) {
        return;
    }
    const std::wstring name = PortNameAt(portNames_, selected);
    if (name.empty()) {
        return;
    }
    WriteUartComPort(name);
    serialLink_->Open(name);
    RefreshConnectionControls();
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
    serialLink_->Open(port);
    RefreshConnectionControls();
}

void CZovrelMainWnd::Disconnect() {
    if (serialLink_ != nullptr) {
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
    ::EnableWindow(controls_[17], FALSE);
}

void CZovrelMainWnd::Save() {
    if (currentPage_ == PAGE_SYSTEM) {
        const bool on = IsChecked(controls_[22]);
        WriteAutostart(on);
        if (!SetAutostart(on)) {
            AskMessageBox(main_texts::kAutostartFailed, MB_OK | MB_ICONEXCLAMATION);
        }
        SwitchPage(PAGE_CLIPBOARD);
        return;
    }
    const int selected = static_cast<int>(::SendMessageW(controls_[20], CB_GETCURSEL, 0, 0));
    const std::wstring name = PortNameAt(settingsPortNames_, selected);
    if (name.empty()) {
        AskMessageBox(main_texts::kChoosePort, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WriteUartComPort(name);
    WriteUartDebugLog(IsChecked(controls_[21]));
    if (serialLink_ != nullptr) {
        serialLink_->Open(name);
    }
    SwitchPage(PAGE_CLIPBOARD);
    RefreshConnectionControls();
}

void CZovrelMainWnd::PutEntryOnClipboard(const ClipboardEntry& entry) {
    OwnClipboardWriteScope ownWrite;
    HWND owner = watcher_ != nullptr && watcher_->Window() != nullptr ? watcher_->Window() : Hwnd();
    if (WriteEntryToClipboard(entry, owner)) {
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
    PutEntryOnClipboard(*entry);
    RefreshHistoryList();
    return 0;
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
    if (!entry.has_value()) {
        return 0;
    }
    if (serialLink_ == nullptr || !serialLink_->IsOpen()) {
        SetStatusText(main_texts::kPortNotOpen);
        return 0;
    }
    if (GetTransferProtocol().IsSending()) {
        SetStatusText(main_texts::kSendBusy);
        return 0;
    }
    try {
        std::thread(SendTask, WindowNotifier(postTarget_), std::move(*entry)).detach();
    } catch (const std::system_error&) {
        SetStatusText(main_texts::kSendTaskFailed);
        return 0;
    }
    SetStatusText(L"");
    UpdateTransferControls();
    return 0;
}

void CZovrelMainWnd::OnSendResult(bool success, std::wstring* text) {
    std::unique_ptr<std::wstring> owned(text);
    UpdateTransferControls();
    if (success) {
        SetStatusText(L"");
    } else if (owned != nullptr) {
        SetStatusText(*owned);
    }
}

void CZovrelMainWnd::OnSendProgress(int percent, std::wstring* text) {
    std::unique_ptr<std::wstring> owned(text);
    ShowTransferProgress(percent, owned != nullptr ? *owned : std::wstring());
    UpdateTransferControls();
}

void CZovrelMainWnd::OnReceivedEntry(ClipboardEntry* entry) {
    std::unique_ptr<ClipboardEntry> owned(entry);
    if (owned == nullptr) {
        return;
    }
    history_.AddEntry(*owned);
    RefreshHistoryList();
    PutEntryOnClipboard(*owned);
}

void CZovrelMainWnd::ShowTransferProgress(int percent, const std::wstring& text) {
    if (!IsCreated()) {
        return;
    }
    if (const auto shown = TransferTextFor(percent, text)) {
        ::SetWindowTextW(controls_[15], shown->c_str());
    }
    const ProgressBarState bar = ProgressBarFor(percent, GetTransferProtocol().IsSending());
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
    ::EnableWindow(controls_[17], sending ? TRUE : FALSE);
    if (!sending) {
        ShowControl(controls_[16], false);
    }
}

void CZovrelMainWnd::RefreshConnectionControls() {
    if (!IsCreated()) {
        return;
    }
    if (serialLink_ != nullptr) {
        const bool open = serialLink_->IsOpen();
        ::EnableWindow(controls_[12], open ? FALSE : TRUE);
        ::EnableWindow(controls_[13], open ? TRUE : FALSE);
        ::SetWindowTextW(controls_[14], open ? main_texts::kStateOpen : main_texts::kStateClosed);
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
    if (text.empty() || pane == nullptr || !ReadUartDebugLog()) {
        return;
    }
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof(scroll);
    scroll.fMask = SIF_ALL;
    const bool infoRead = ::GetScrollInfo(pane, SB_VERT, &scroll) != FALSE;
    const bool atEnd =
        IsScrolledToEnd(infoRead, scroll.nMax, scroll.nPos, static_cast<int>(scroll.nPage));
    const int firstVisible = static_cast<int>(::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int removedLines = TrimLogPane();

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
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.displayText.c_str()));
    }
    const std::wstring saved = TrimText(ReadUartComPort());
    const ClipboardPortChoice choice = ChooseClipboardPort(portNames_, saved);
    if (choice.appendSavedPort) {
        portNames_.push_back(saved);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(saved.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(choice.selected), 0);
    fillingPortCombo_ = false;
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
