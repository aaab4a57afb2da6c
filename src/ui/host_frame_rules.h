#pragma once

// What the hidden host frame decides without a window: its texts, what a tray click does, which
// page the first window opens on, and how long it waits for a running send when it goes.

#include <functional>
#include <string_view>

#include "base/tick_source.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

inline constexpr wchar_t HOST_FRAME_TITLE[] = L"zovrel_host";
inline constexpr wchar_t HOST_FRAME_CLASS[] = L"ZovrelHostFrame";
inline constexpr wchar_t TRAY_TOOLTIP[] = L"zovrel";

// The tray menu, top to bottom; command 0 is a separator.
struct TrayMenuItem {
    int command;
    const wchar_t* text;
};
inline constexpr TrayMenuItem TRAY_MENU_ITEMS[] = {
    {ID_TRAY_SHOW_MAIN, L"显示主窗口"},
    {0, nullptr},
    {ID_TRAY_EXIT, L"退出"},
};

enum class TrayAction { None, ShowMain, OpenMenu, NoticeClicked };

// The event in the low word of the tray callback's lParam. With the icon's behaviour version 3
// the shell follows a left click (WM_LBUTTONUP) with NIN_SELECT, a right click (WM_RBUTTONUP)
// with WM_CONTEXTMENU, and reports the keyboard (Win+B, arrows, Enter, Space, the context-menu
// key) as NIN_KEYSELECT and WM_CONTEXTMENU: only those act, so one click gives one show or one
// menu. Without the version (an old shell, or one that refused it) the mouse events act. A click
// on a balloon (NIN_BALLOONUSERCLICK) acts on what the balloon told.
TrayAction TrayActionForEvent(unsigned event, bool version3);

// A first run (no saved port) opens on the serial settings page, any other on the clipboard page.
int StartPage(std::wstring_view savedPort);

inline constexpr int SEND_STOP_POLLS = 50;
inline constexpr uint32_t SEND_STOP_POLL_MS = 100;

// Polls `isSending` until it is false, sleeping SEND_STOP_POLL_MS between polls, at most
// SEND_STOP_POLLS times (5 s). Returns how many sleeps it took; SEND_STOP_POLLS means the send
// was still running when the wait gave up.
int WaitForSendToStop(const std::function<bool()>& isSending, TickSource& ticks);

}  // namespace zovrel::ui
