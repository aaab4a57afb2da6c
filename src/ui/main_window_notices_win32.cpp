// The main window: the global hotkeys, the system page that sets them, and the tray notices of
// what arrives from the device and of a send that ends while the window is hidden.

#include "ui/main_window_win32.h"

#include <commctrl.h>

#include "base/text.h"
#include "clipboard/history_store.h"
#include "settings/log_file.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"
#include "ui/host_frame_rules.h"
#include "ui/tray_icon_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

struct HotkeySlot {
    HotkeyAction action;
    const wchar_t* setting;
    Hotkey fallback;
    int control;  // its number in the controls table
};
constexpr HotkeySlot HOTKEY_SLOTS[2] = {
    {HotkeyAction::Show, HOTKEY_SHOW_SETTING, DEFAULT_SHOW_HOTKEY, 28},
    {HotkeyAction::Send, HOTKEY_SEND_SETTING, DEFAULT_SEND_HOTKEY, 31},
};

Hotkey SavedHotkey(const HotkeySlot& slot) {
    return HotkeyFromSetting(ReadSettingText(slot.setting), slot.fallback);
}

std::wstring ControlText(HWND control) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void CZovrelMainWnd::RegisterHotkeys() {
    if (!IsCreated()) {
        return;
    }
    for (size_t i = 0; i < 2; ++i) {
        const HotkeySlot& slot = HOTKEY_SLOTS[i];
        const int id = static_cast<int>(slot.action);
        ::UnregisterHotKey(Hwnd(), id);
        const Hotkey hotkey = SavedHotkey(slot);
        // Held keys would repeat the send as fast as the keyboard repeats.
        hotkeyTaken_[i] =
            !hotkey.Empty() &&
            !::RegisterHotKey(Hwnd(), id, hotkey.modifiers | MOD_NOREPEAT, hotkey.key);
        if (hotkeyTaken_[i]) {
            AppendToLogFile(FormatText(main_texts::kLogHotkeyTaken, HotkeyText(hotkey).c_str()));
        }
    }
}

void CZovrelMainWnd::ShowSystemPageSettings() {
    ::SendMessageW(controls_[26], BM_SETCHECK, ReadNotifyOnReceive() ? BST_CHECKED : BST_UNCHECKED,
                   0);
    for (size_t i = 0; i < 2; ++i) {
        shownHotkeys_[i] = SavedHotkey(HOTKEY_SLOTS[i]);
        ::SendMessageW(controls_[static_cast<size_t>(HOTKEY_SLOTS[i].control)], HKM_SETHOTKEY,
                       HotkeyControlValue(shownHotkeys_[i]), 0);
    }
}

CZovrelMainWnd::HotkeySave CZovrelMainWnd::SaveSystemPage() {
    std::array<Hotkey, 2> chosen{};
    for (size_t i = 0; i < 2; ++i) {
        HWND control = controls_[static_cast<size_t>(HOTKEY_SLOTS[i].control)];
        chosen[i] = HotkeyFromControl(
            static_cast<unsigned>(::SendMessageW(control, HKM_GETHOTKEY, 0, 0)), shownHotkeys_[i]);
    }
    if (const auto refusal = HotkeyRefusal(chosen[0], chosen[1])) {
        AskMessageBox(*refusal, MB_OK | MB_ICONEXCLAMATION);
        return HotkeySave::Refused;
    }
    WriteNotifyOnReceive(::SendMessageW(controls_[26], BM_GETCHECK, 0, 0) == BST_CHECKED);
    for (size_t i = 0; i < 2; ++i) {
        WriteSettingText(HOTKEY_SLOTS[i].setting, HotkeyText(chosen[i]));
    }
    RegisterHotkeys();
    // A hotkey just chosen that another program holds: the page stays and says so. One that was
    // taken before and left as it was does not hold the page.
    bool newlyTaken = false;
    for (size_t i = 0; i < 2; ++i) {
        newlyTaken = newlyTaken || (hotkeyTaken_[i] && !(chosen[i] == shownHotkeys_[i]));
    }
    return newlyTaken ? HotkeySave::Taken : HotkeySave::Saved;
}

int CZovrelMainWnd::CurrentEntryRow() const {
    const int count = history_.GetEntryCount();
    const std::optional<ClipboardEntry> current = history_.GetCurrentEntry();
    if (current) {
        for (int row = 0; row < count; ++row) {
            const std::optional<ClipboardEntry> head = history_.GetEntryHeadAt(row, 0);
            if (head && head->id == current->id) {
                return row;
            }
        }
    }
    return count > 0 ? 0 : -1;
}

void CZovrelMainWnd::OnHotkey(int id) {
    if (id == static_cast<int>(HotkeyAction::Show)) {
        ShowOnPage(PAGE_CLIPBOARD);
        const int row = CurrentEntryRow();
        if (row >= 0) {
            ::SendMessageW(list_.Hwnd(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        }
        // Ready for the list's keys at once: Enter, Delete, the arrows.
        focusToRestore_ = list_.Hwnd();
        ::SetFocus(list_.Hwnd());
    } else if (id == static_cast<int>(HotkeyAction::Send)) {
        const int row = CurrentEntryRow();
        if (row < 0) {
            ShowSendFailure(main_texts::kNothingToSend);
            return;
        }
        OnHistorySend(row);
    }
}

bool CZovrelMainWnd::WindowHidden() const {
    return !::IsWindowVisible(Hwnd()) || ::IsIconic(Hwnd());
}

void CZovrelMainWnd::ShowNotice(const Notice& notice) {
    lastNotice_ = notice;
    // The title only: what the device sent stays out of the log.
    AppendToLogFile(FormatText(notice_texts::kLogLine, notice.title.c_str()));
    if (tray_ != nullptr) {
        tray_->ShowBalloon(notice.title, notice.text);
    }
}

void CZovrelMainWnd::OnNoticeClicked() {
    if (!lastNotice_.folder.empty() && OpenFolder(lastNotice_.folder)) {
        return;
    }
    ShowOnPage(PAGE_CLIPBOARD);
}

void CZovrelMainWnd::ShowSendFailure(const std::wstring& reason) {
    SetStatusText(reason);
    if (WindowHidden()) {
        ShowNotice(SendResultNotice(false, reason));
    }
}

void CZovrelMainWnd::ShowSendProgressInTray() {
    if (tray_ == nullptr || !WindowHidden() || !GetTransferProtocol().IsSending()) {
        return;
    }
    trayShowsProgress_ = true;
    tray_->SetTooltip(SendingTooltip(ControlText(controls_[15])));
}

void CZovrelMainWnd::EndSendInTray(bool success, const std::wstring& reason) {
    if (tray_ != nullptr && trayShowsProgress_) {
        tray_->SetTooltip(TRAY_TOOLTIP);
    }
    trayShowsProgress_ = false;
    if (WindowHidden()) {
        ShowNotice(SendResultNotice(success, success ? sendSummary_ : reason));
    }
}

}  // namespace zovrel::ui
