// The history list from the keyboard: Enter, Delete, the row menu (Shift+F10, the context-menu
// key, or a right click) and the mark on the focused row.

#include <windowsx.h>

#include <algorithm>

#include "clipboard/history_store.h"
#include "ui/contrast_win32.h"
#include "ui/history_list_win32.h"
#include "ui/keyboard_rules.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

bool KeyHeld(int key) {
    return (::GetKeyState(key) & 0x8000) != 0;
}

}  // namespace

int CZovrelHistoryListBox::SelectedRow() const {
    return static_cast<int>(::SendMessageW(Hwnd(), LB_GETCURSEL, 0, 0));
}

bool CZovrelHistoryListBox::OnKey(UINT message, WPARAM key) {
    const ListKeyAction action = HistoryListKeyAction(static_cast<unsigned>(key), KeyHeld(VK_SHIFT),
                                                      KeyHeld(VK_CONTROL), KeyHeld(VK_MENU));
    if (action == ListKeyAction::None) {
        return false;
    }
    // The key's release is kept from the default handling too, which would otherwise turn
    // Shift+F10 or the context-menu key into a second menu.
    if (message == WM_KEYUP || message == WM_SYSKEYUP) {
        return true;
    }
    const int row = SelectedRow();
    if (row < 0) {
        return true;
    }
    HWND parent = ::GetParent(Hwnd());
    switch (action) {
        case ListKeyAction::Activate:
            ::SendMessageW(parent, WM_HISTORY_ACTIVATE, static_cast<WPARAM>(row), 0);
            break;
        case ListKeyAction::Delete:
            ::SendMessageW(parent, WM_HISTORY_DELETE, static_cast<WPARAM>(row), 0);
            break;
        case ListKeyAction::OpenMenu: {
            RECT r = RowRect(row);
            POINT at{r.left + ScaleForDpi(32, WindowDpi(Hwnd())), r.top};
            // Below the row's header line, where the eye already is.
            at.y += ScaleForDpi(28, WindowDpi(Hwnd()));
            ::ClientToScreen(Hwnd(), &at);
            ShowRowMenu(row, at);
            break;
        }
        case ListKeyAction::None:
            break;
    }
    return true;
}

LRESULT CZovrelHistoryListBox::DialogCode(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT code = DefaultHandling(message, wParam, lParam);
    // Enter belongs to the list (it would otherwise press the window's default button).
    const auto* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
        code |= DLGC_WANTMESSAGE;
    }
    return code;
}

void CZovrelHistoryListBox::OnContextMenu(LPARAM screenPoint) {
    POINT at{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    int row = -1;
    if (screenPoint == -1) {
        // From the keyboard, through the default handling of a window further up.
        row = SelectedRow();
        if (row < 0) {
            return;
        }
        RECT r = RowRect(row);
        at = POINT{r.left + ScaleForDpi(32, WindowDpi(Hwnd())),
                   r.top + ScaleForDpi(28, WindowDpi(Hwnd()))};
        ::ClientToScreen(Hwnd(), &at);
    } else {
        POINT client = at;
        ::ScreenToClient(Hwnd(), &client);
        row = HitTest(client).row;
        if (row < 0) {
            return;
        }
        // The row the menu acts on is the one the user sees selected.
        ::SendMessageW(Hwnd(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
    ShowRowMenu(row, at);
}

void CZovrelHistoryListBox::ShowRowMenu(int row, POINT screen) {
    std::optional<ClipboardEntry> entry;
    if (history_ != nullptr) {
        entry = history_->GetEntryAt(row);
    }
    if (!entry) {
        return;
    }
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu.IsValid()) {
        return;
    }
    for (const RowMenuItem& item : RowMenuItems(entry->kind == ENTRY_KIND_FILES, entry->pinned)) {
        ::AppendMenuW(menu.Get(), MF_STRING, static_cast<UINT_PTR>(item.part), item.text);
    }
    OnScroll();  // the preview would cover the menu
    const auto chosen = static_cast<int>(
        ::TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                         screen.x, screen.y, 0, Hwnd(), nullptr));
    const unsigned request = RowRequestMessage(static_cast<history_list::RowPart>(chosen));
    if (request != 0) {
        ::SendMessageW(::GetParent(Hwnd()), request, static_cast<WPARAM>(row), 0);
    }
}

RowPalette CZovrelHistoryListBox::Palette(std::optional<uint32_t> kind, bool selected,
                                          bool odd) const {
    const SystemColours system = CurrentSystemColours();
    return RowPaletteFor(kind, selected, odd, highContrast_ ? &system : nullptr);
}

void CZovrelHistoryListBox::DrawFocusMark(HDC dc, const RECT& rect, int dpi,
                                          COLORREF colour) const {
    // A solid frame two pixels wide (scaled), visible on the row's colours in either palette.
    const int width = std::max(ScaleForDpi(2, dpi), 1);
    const COLORREF previous = ::SetBkColor(dc, colour);
    const RECT edges[4] = {
        {rect.left, rect.top, rect.right, rect.top + width},
        {rect.left, rect.bottom - width - 1, rect.right, rect.bottom - 1},
        {rect.left, rect.top, rect.left + width, rect.bottom - 1},
        {rect.right - width, rect.top, rect.right, rect.bottom - 1},
    };
    for (const RECT& edge : edges) {
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &edge, nullptr, 0, nullptr);
    }
    ::SetBkColor(dc, previous);
}

void CZovrelHistoryListBox::SetHighContrast(bool on) {
    if (highContrast_ != on) {
        highContrast_ = on;
        if (IsCreated()) {
            ::InvalidateRect(Hwnd(), nullptr, TRUE);
        }
    }
}

}  // namespace zovrel::ui
