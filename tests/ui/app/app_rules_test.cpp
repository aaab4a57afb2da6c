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
    const std::pair<std::wstring, bool> cases[] = {
        {L"zovrel", true},
        {L"zovrel - 串口设置", true},
        {L"zovrel - ", true},  // the nine characters alone
        {std::wstring(L"zovrel - ") + std::wstring(300, L'x'), true},
        {L"zovrel_host", false},  // the hidden host frame
        {L"zovrel -", false},
        {L"zovrel-串口设置", false},
        {L"zovrelx", false},
        {L"Zovrel", false},  // case matters
        {L" zovrel", false},
        {L"zovrel ", false},
        {L"", false},
    };
    for (const auto& [title, match] : cases) {
        EXPECT_EQ(IsRunningInstanceTitle(title), match) << std::string(title.begin(), title.end());
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
        {true, true, L"zovrel - 系统", true},
        {true, false, L"zovrel", false},  // the first instance sits hidden in the tray
        {false, true, L"zovrel", false},  // our own window
        {true, true, L"zovrel_host", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRunningInstanceWindow(c.otherProcess, c.visible, c.title), c.match)
            << c.otherProcess << c.visible;
    }
}

TEST(HostFrameRulesTest, TrayMouseEventsAndTheFirstPage) {
    const std::pair<unsigned, TrayAction> events[] = {
        {0x0202, TrayAction::ShowMain},      // left button up
        {0x0203, TrayAction::ShowMain},      // left double click
        {0x0205, TrayAction::OpenMenu},      // right button up
        {0x0201, TrayAction::None},          // left button down
        {0x0200, TrayAction::None},          // mouse move
        {0x0400, TrayAction::None},          // NIN_SELECT
        {0x01230205, TrayAction::OpenMenu},  // only the low word counts
    };
    for (const auto& [event, action] : events) {
        EXPECT_EQ(TrayActionForMouseEvent(event), action) << std::hex << event;
    }
    // A first run (no saved port) opens on the settings page.
    const std::pair<const wchar_t*, int> pages[] = {{L"", PAGE_SERIAL_SETTINGS},
                                                    {L" \t ", PAGE_SERIAL_SETTINGS},
                                                    {L"  COM12 ", PAGE_CLIPBOARD}};
    for (const auto& [port, page] : pages) {
        EXPECT_EQ(StartPage(port), page);
    }
}

TEST(HostFrameRulesTest, WaitForSendToStopIsBoundedAtFiftyPolls) {
    const std::pair<int, int> cases[] = {{0, 0},   {1, 1},   {49, 49},
                                         {50, 50}, {51, 50}, {100000, 50}};
    for (const auto& [busyPolls, sleeps] : cases) {
        test::FakeTicks ticks(0);
        int polls = 0;
        EXPECT_EQ(WaitForSendToStop([&] { return polls++ < busyPolls; }, ticks), sleeps)
            << busyPolls;
        EXPECT_EQ(ticks.Now(), static_cast<uint32_t>(sleeps) * SEND_STOP_POLL_MS);
    }
}

}  // namespace
}  // namespace zovrel::ui
