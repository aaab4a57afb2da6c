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

TEST(SingleInstanceTest, OnlyTheMainWindowClassOfAnotherProcessCounts) {
    EXPECT_TRUE(IsRunningInstanceWindow(true, L"ZovrelMainWnd"));
    EXPECT_FALSE(IsRunningInstanceWindow(false, L"ZovrelMainWnd"));   // our own window
    EXPECT_FALSE(IsRunningInstanceWindow(true, L"ZovrelHostFrame"));  // the hidden host frame
}

TEST(HostFrameRulesTest, TrayEventsGiveOneActionPerClickAndTheFirstPage) {
    // The event, what it does with the icon's version 3, and without it.
    const std::tuple<unsigned, TrayAction, TrayAction> cases[] = {
        {0x0202, TrayAction::None, TrayAction::ShowMain},      // left up: NIN_SELECT follows
        {0x0203, TrayAction::None, TrayAction::ShowMain},      // left double click
        {0x0400, TrayAction::ShowMain, TrayAction::None},      // NIN_SELECT
        {0x0401, TrayAction::ShowMain, TrayAction::None},      // NIN_KEYSELECT: Enter, Space
        {0x0205, TrayAction::None, TrayAction::OpenMenu},      // right up: WM_CONTEXTMENU follows
        {0x007B, TrayAction::OpenMenu, TrayAction::None},      // WM_CONTEXTMENU
        {0x0200, TrayAction::None, TrayAction::None},          // mouse move
        {0x0123007B, TrayAction::OpenMenu, TrayAction::None},  // only the low word counts
        // NIN_BALLOONUSERCLICK
        {0x0405, TrayAction::NoticeClicked, TrayAction::NoticeClicked},
    };
    for (const auto& [event, version3, old] : cases) {
        EXPECT_EQ(TrayActionForEvent(event, true), version3) << std::hex << event;
        EXPECT_EQ(TrayActionForEvent(event, false), old) << std::hex << event;
    }
    // A first run (no saved port) opens on the settings page.
    EXPECT_EQ(StartPage(L" \t "), PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(StartPage(L"  COM12 "), PAGE_CLIPBOARD);
}

TEST(HostFrameRulesTest, WaitForSendToStopIsBoundedAtFiftyPolls) {
    const std::pair<int, int> cases[] = {{0, 0}, {50, 50}, {100000, 50}};
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
