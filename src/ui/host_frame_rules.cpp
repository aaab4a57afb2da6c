#include "ui/host_frame_rules.h"

#include "base/text.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {
constexpr unsigned CONTEXT_MENU = 0x007B;  // WM_CONTEXTMENU
constexpr unsigned MOUSE_LEFT_UP = 0x0202;
constexpr unsigned MOUSE_LEFT_DOUBLE_CLICK = 0x0203;
constexpr unsigned MOUSE_RIGHT_UP = 0x0205;
constexpr unsigned NOTIFY_SELECT = 0x0400;      // NIN_SELECT (WM_USER)
constexpr unsigned NOTIFY_KEY_SELECT = 0x0401;  // NIN_KEYSELECT (WM_USER + 1)
constexpr unsigned NOTIFY_BALLOON_CLICK = 0x0405;  // NIN_BALLOONUSERCLICK (WM_USER + 5)
}  // namespace

TrayAction TrayActionForEvent(unsigned event, bool version3) {
    event &= 0xFFFF;
    // Balloons report their click the same way with or without the behaviour version.
    if (event == NOTIFY_BALLOON_CLICK) {
        return TrayAction::NoticeClicked;
    }
    if (version3) {
        switch (event) {
            case NOTIFY_SELECT:
            case NOTIFY_KEY_SELECT:
                return TrayAction::ShowMain;
            case CONTEXT_MENU:
                return TrayAction::OpenMenu;
            default:
                return TrayAction::None;
        }
    }
    switch (event) {
        case MOUSE_LEFT_UP:
        case MOUSE_LEFT_DOUBLE_CLICK:
            return TrayAction::ShowMain;
        case MOUSE_RIGHT_UP:
            return TrayAction::OpenMenu;
        default:
            return TrayAction::None;
    }
}

int StartPage(std::wstring_view savedPort) {
    return TrimText(savedPort).empty() ? PAGE_SERIAL_SETTINGS : PAGE_CLIPBOARD;
}

int WaitForSendToStop(const std::function<bool()>& isSending, TickSource& ticks) {
    int sleeps = 0;
    while (sleeps < SEND_STOP_POLLS && isSending()) {
        ticks.Sleep(SEND_STOP_POLL_MS);
        ++sleeps;
    }
    return sleeps;
}

}  // namespace zovrel::ui
