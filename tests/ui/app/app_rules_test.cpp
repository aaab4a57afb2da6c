// The decisions of the application object and the host frame that need no window: which window
// a second start takes for the running instance, what a tray click does, the first page, and the
// bounded wait for a running send.

#include <gtest/gtest.h>

#include <string>

#include "support/fake_ticks.h"
#include "ui/host_frame_rules.h"
#include "ui/single_instance.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

TEST(SingleInstanceTest, TitlesOfTheMainWindowMatchAndNothingElse) {
    struct Case {
        std::wstring title;
        bool match;
    };
    const Case cases[] = {
        {L"zovrel", true},
        {L"zovrel - 串口设置", true},
        {L"zovrel - 系统", true},
        {L"zovrel - ", true},  // the nine characters alone
        {L"zovrel - anything else", true},
        {L"zovrel_host", false},  // the hidden host frame
        {L"zovrel -", false},
        {L"zovrel-串口设置", false},
        {L"zovrel  - 系统", false},
        {L"zovrelx", false},
        {L"Zovrel", false},  // case matters
        {L"ZOVREL - 系统", false},
        {L" zovrel", false},
        {L"zovrel ", false},
        {L"", false},
        {L"CTrayNotifyIcon Helper Window", false},
        {std::wstring(L"zovrel - ") + std::wstring(300, L'x'), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRunningInstanceTitle(c.title), c.match)
            << std::string(c.title.begin(), c.title.end());
    }
}

TEST(SingleInstanceTest, OnlyVisibleWindowsOfAnotherProcessCount) {
    struct Case {
        bool otherProcess;
        bool visible;
        const wchar_t* title;
        bool match;
    };
    const Case cases[] = {
        {true, true, L"zovrel", true},    {true, true, L"zovrel - 系统", true},
        {true, false, L"zovrel", false},  // the first instance sits hidden in the tray
        {false, true, L"zovrel", false},  // our own window
        {false, false, L"zovrel", false}, {true, true, L"zovrel_host", false},
        {true, true, L"Notepad", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRunningInstanceWindow(c.otherProcess, c.visible, c.title), c.match)
            << c.otherProcess << c.visible;
    }
}

TEST(HostFrameRulesTest, TrayMouseEvents) {
    struct Case {
        unsigned event;
        TrayAction action;
    };
    const Case cases[] = {
        {0x0202, TrayAction::ShowMain},  // left button up
        {0x0203, TrayAction::ShowMain},  // left double click
        {0x0205, TrayAction::OpenMenu},  // right button up
        {0x0201, TrayAction::None},      // left button down
        {0x0204, TrayAction::None},      // right button down
        {0x0206, TrayAction::None},      // right double click
        {0x0200, TrayAction::None},      // mouse move
        {0x0207, TrayAction::None},      // middle button down
        {0x0400, TrayAction::None},      // NIN_SELECT
        {0x0000, TrayAction::None},
        {0x00820202, TrayAction::ShowMain},  // only the low word counts
        {0x01230205, TrayAction::OpenMenu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrayActionForMouseEvent(c.event), c.action) << std::hex << c.event;
    }
}

TEST(HostFrameRulesTest, FirstRunOpensOnTheSettingsPage) {
    EXPECT_EQ(StartPage(L""), PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(StartPage(L" \t "), PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(StartPage(L"COM3"), PAGE_CLIPBOARD);
    EXPECT_EQ(StartPage(L"  COM12 "), PAGE_CLIPBOARD);
}

TEST(HostFrameRulesTest, TrayMenuHasShowSeparatorExit) {
    ASSERT_EQ(std::size(TRAY_MENU_ITEMS), 3u);
    EXPECT_EQ(TRAY_MENU_ITEMS[0].command, ID_TRAY_SHOW_MAIN);
    EXPECT_EQ(std::wstring(TRAY_MENU_ITEMS[0].text), L"显示主窗口");
    EXPECT_EQ(TRAY_MENU_ITEMS[1].command, 0);
    EXPECT_EQ(TRAY_MENU_ITEMS[2].command, ID_TRAY_EXIT);
    EXPECT_EQ(std::wstring(TRAY_MENU_ITEMS[2].text), L"退出");
}

TEST(HostFrameRulesTest, WaitForSendToStopIsBoundedAtFiftyPolls) {
    struct Case {
        int busyPolls;  // how many polls still see the send running
        int sleeps;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {7, 7}, {49, 49}, {50, 50}, {51, 50}, {100000, 50}};
    for (const Case& c : cases) {
        test::FakeTicks ticks(0);
        int polls = 0;
        const int sleeps = WaitForSendToStop([&] { return polls++ < c.busyPolls; }, ticks);
        EXPECT_EQ(sleeps, c.sleeps) << c.busyPolls;
        EXPECT_EQ(ticks.Now(), static_cast<uint32_t>(c.sleeps) * SEND_STOP_POLL_MS);
        EXPECT_LE(ticks.Now(), 5000u);
    }
}

}  // namespace
}  // namespace zovrel::ui
