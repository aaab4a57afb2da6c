#pragma once

// What the keyboard does in the main window, decided without a window: the history list's keys
// and row menu, Esc per page, the order Tab visits the controls in, and where the focus goes
// when a page is shown afresh or a focused button is about to be disabled. Controls are named
// by their numbers in the main window's controls table.

#include <functional>
#include <span>
#include <vector>

#include "ui/history_list_rules.h"

namespace zovrel::ui {

// The virtual-key numbers the rules look at (as Windows numbers them).
inline constexpr unsigned KEY_RETURN = 0x0D;
inline constexpr unsigned KEY_DELETE = 0x2E;
inline constexpr unsigned KEY_APPS = 0x5D;  // the context-menu key
inline constexpr unsigned KEY_F10 = 0x79;

enum class ListKeyAction { None, Activate, Delete, OpenMenu };

// Enter puts the selected row on the clipboard (as a double click does), Delete deletes it,
// Shift+F10 and the context-menu key open the row menu. Arrows, Home, End and the page keys
// stay with the list box itself. A key held with Ctrl or Alt means something else.
ListKeyAction HistoryListKeyAction(unsigned key, bool shift, bool control, bool alt);

// The row menu, top to bottom: "发送", "删除", for a files entry "打开目录", then "固定" (or
// "取消固定" for a pinned entry).
struct RowMenuItem {
    history_list::RowPart part;
    const wchar_t* text;
};
std::vector<RowMenuItem> RowMenuItems(bool isFiles, bool pinned = false);

// The request a row button or menu item sends to the main window (0 for none).
unsigned RowRequestMessage(history_list::RowPart part);

// Esc: the history page hides the window (as closing does), the settings pages mean "取消".
enum class EscapeAction { HideWindow, BackToClipboardPage };
EscapeAction EscapeActionFor(int page);

// Every control in the order Tab visits them: top to bottom, then left to right, as laid out.
// The window puts its children in this order (the dialog manager follows the child order).
std::span<const int> ControlsInTabOrder();

// The control a page shown afresh puts the focus on: the history list on page 0, the port
// choice on the serial settings page, the autostart box on the system page.
int FirstFocusControl(int page);

// Where the focus goes before a focused button disables itself ("连接" hands on to "断开" and
// back, "放弃" to the history list); `enabled(n)` says whether control n can take it. The history
// list is the last resort.
int FocusAfterDisabling(int control, const std::function<bool(int)>& enabled);

}  // namespace zovrel::ui
