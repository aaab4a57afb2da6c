#include "ui/keyboard_rules.h"

#include <array>

#include "ui/ui_ids.h"

namespace zovrel::ui {

using history_list::RowPart;

namespace {

constexpr int HISTORY_LIST = 6;
constexpr int CONNECT = 12;
constexpr int DISCONNECT = 13;
constexpr int CANCEL_SEND = 17;

// Page 0: the top band, the history band, the log band, the connection bar; then the settings
// pages (their two buttons share a row: "取消" stands left of "保存").
constexpr std::array<int, 31> TAB_ORDER = {
    1,  2,                       // 剪贴板, menu button
    8,  10, 9,                   // 历史记录, status line, 全部清空
    6,                           // history list
    25, 3,  4,  5,               // splitter, 串口 / 日志, 清空日志, log pane
    11, 14, 12, 13, 15, 16, 17,  // the connection bar
    18, 19, 20, 21, 22,          // the settings pages
    26, 27, 28, 29, 30, 31, 32,  // the system page's notices box and hotkeys
    24, 23,                      // 取消, 保存
};

}  // namespace

ListKeyAction HistoryListKeyAction(unsigned key, bool shift, bool control, bool alt) {
    if (control || alt) {
        return ListKeyAction::None;
    }
    switch (key) {
        case KEY_RETURN:
            return shift ? ListKeyAction::None : ListKeyAction::Activate;
        case KEY_DELETE:
            return shift ? ListKeyAction::None : ListKeyAction::Delete;
        case KEY_APPS:
            return ListKeyAction::OpenMenu;
        case KEY_F10:
            return shift ? ListKeyAction::OpenMenu : ListKeyAction::None;
        default:
            return ListKeyAction::None;
    }
}

std::vector<RowMenuItem> RowMenuItems(bool isFiles, bool pinned) {
    std::vector<RowMenuItem> items = {{RowPart::Send, history_list::SEND_LABEL},
                                      {RowPart::Delete, history_list::DELETE_LABEL}};
    if (isFiles) {
        items.push_back({RowPart::OpenFolder, history_list::OPEN_FOLDER_LABEL});
    }
    items.push_back({RowPart::Pin, pinned ? history_list::UNPIN_LABEL : history_list::PIN_LABEL});
    return items;
}

unsigned RowRequestMessage(RowPart part) {
    switch (part) {
        case RowPart::Send:
            return WM_HISTORY_SEND;
        case RowPart::Delete:
            return WM_HISTORY_DELETE;
        case RowPart::OpenFolder:
            return WM_HISTORY_OPEN_FOLDER;
        case RowPart::Pin:
            return WM_HISTORY_PIN;
        case RowPart::None:
            break;
    }
    return 0;
}

EscapeAction EscapeActionFor(int page) {
    return page == PAGE_SERIAL_SETTINGS || page == PAGE_SYSTEM ? EscapeAction::BackToClipboardPage
                                                               : EscapeAction::HideWindow;
}

std::span<const int> ControlsInTabOrder() {
    return TAB_ORDER;
}

int FirstFocusControl(int page) {
    switch (page) {
        case PAGE_SERIAL_SETTINGS:
            return 20;
        case PAGE_SYSTEM:
            return 22;
        default:
            return HISTORY_LIST;
    }
}

int FocusAfterDisabling(int control, const std::function<bool(int)>& enabled) {
    int next = HISTORY_LIST;
    if (control == CONNECT) {
        next = DISCONNECT;
    } else if (control == DISCONNECT) {
        next = CONNECT;
    } else if (control == CANCEL_SEND) {
        next = HISTORY_LIST;
    }
    return enabled(next) ? next : HISTORY_LIST;
}

}  // namespace zovrel::ui
