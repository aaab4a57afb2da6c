#include "ui/host_frame_rules.h"

#include "base/text.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {
constexpr unsigned MOUSE_LEFT_UP = 0x0202;
constexpr unsigned MOUSE_LEFT_DOUBLE_CLICK = 0x0203;
constexpr unsigned MOUSE_RIGHT_UP = 0x0205;
}  // namespace

TrayAction TrayActionForMouseEvent(unsigned event) {
    switch (event & 0xFFFF) {
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
