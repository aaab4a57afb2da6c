// The keyboard's rules: what a key does in the history list, the row menu, Esc per page, the
// Tab order against the real layout, and where the focus goes.

#include "ui/keyboard_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "ui/main_window_layout.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using history_list::RowPart;

TEST(KeyboardRules, HistoryListKeys) {
    struct Case {
        unsigned key;
        bool shift, control, alt;
        ListKeyAction action;
    };
    const Case cases[] = {
        {KEY_RETURN, false, false, false, ListKeyAction::Activate},
        {KEY_DELETE, false, false, false, ListKeyAction::Delete},
        {KEY_APPS, false, false, false, ListKeyAction::OpenMenu},
        {KEY_F10, true, false, false, ListKeyAction::OpenMenu},
        {KEY_F10, false, false, false, ListKeyAction::None},    // F10 alone: the menu bar's key
        {KEY_RETURN, false, false, true, ListKeyAction::None},  // Alt+Enter
        {KEY_DELETE, false, true, false, ListKeyAction::None},  // Ctrl+Delete
        {0x26, false, false, false, ListKeyAction::None},       // Up: the list box's own
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistoryListKeyAction(c.key, c.shift, c.control, c.alt), c.action)
            << std::hex << c.key << c.shift << c.control << c.alt;
    }
}

TEST(KeyboardRules, RowMenuOffersWhatTheRowButtonsDo) {
    const auto parts = [](bool files) {
        std::vector<RowPart> out;
        for (const RowMenuItem& item : RowMenuItems(files)) {
            out.push_back(item.part);
            EXPECT_NE(RowRequestMessage(item.part), 0u);
        }
        return out;
    };
    EXPECT_EQ(parts(false), (std::vector<RowPart>{RowPart::Send, RowPart::Delete}));
    EXPECT_EQ(parts(true),
              (std::vector<RowPart>{RowPart::Send, RowPart::Delete, RowPart::OpenFolder}));
    EXPECT_EQ(RowRequestMessage(RowPart::None), 0u);
}

TEST(KeyboardRules, EscapeHidesTheHistoryPageAndCancelsTheSettingsPages) {
    EXPECT_EQ(EscapeActionFor(PAGE_CLIPBOARD), EscapeAction::HideWindow);
    EXPECT_EQ(EscapeActionFor(PAGE_SERIAL_SETTINGS), EscapeAction::BackToClipboardPage);
    EXPECT_EQ(EscapeActionFor(PAGE_SYSTEM), EscapeAction::BackToClipboardPage);
}

// The controls Tab stops at, per page, and where the layout puts them.
std::map<int, LayoutRect> TabStopsAsLaidOut(int page, bool log, int width, int height, int dpi) {
    const MainWindowLayout l = LayoutControls(page, width, height, dpi, log, 400);
    if (page == PAGE_CLIPBOARD) {
        std::map<int, LayoutRect> stops = {
            {2, l.menuButton}, {9, l.clearHistory}, {6, l.historyList}, {11, l.portCombo},
            {12, l.connect},   {13, l.disconnect},  {17, l.cancelSend}};
        if (log) {
            stops[4] = l.clearLog;
            stops[5] = l.logPane;
        }
        return stops;
    }
    std::map<int, LayoutRect> stops = {{24, l.cancelSettings}, {23, l.save}};
    if (page == PAGE_SERIAL_SETTINGS) {
        stops[20] = l.settingsPortCombo;
        stops[21] = l.debugLogCheck;
    } else {
        stops[22] = l.autostartCheck;
        stops[26] = l.notifyCheck;
        stops[28] = l.showHotkey;
        stops[31] = l.sendHotkey;
    }
    return stops;
}

TEST(KeyboardRules, TabFollowsTheScreenTopToBottomThenLeftToRight) {
    struct Case {
        int page;
        bool log;
        int width, height, dpi;
    };
    const Case cases[] = {
        {PAGE_CLIPBOARD, false, 560, 680, 96},       {PAGE_CLIPBOARD, true, 560, 680, 96},
        {PAGE_CLIPBOARD, true, 420, 360, 96},        {PAGE_CLIPBOARD, true, 1200, 900, 144},
        {PAGE_SERIAL_SETTINGS, false, 360, 200, 96}, {PAGE_SYSTEM, false, 900, 700, 144},
        {PAGE_SYSTEM, false, 360, 190, 96},
    };
    // (Below about 410 pixels the connection bar's buttons overlap "放弃": no order fits that.)
    const std::span<const int> order = ControlsInTabOrder();
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), order.size());
    for (const Case& c : cases) {
        const std::map<int, LayoutRect> stops =
            TabStopsAsLaidOut(c.page, c.log, c.width, c.height, c.dpi);
        std::vector<int> visited;
        for (int number : order) {
            if (stops.count(number) != 0) {
                visited.push_back(number);
            }
        }
        ASSERT_EQ(visited.size(), stops.size()) << "a tab stop is missing from the order";
        for (size_t i = 1; i < visited.size(); ++i) {
            const LayoutRect& a = stops.at(visited[i - 1]);
            const LayoutRect& b = stops.at(visited[i]);
            EXPECT_TRUE(a.y < b.y || (a.y == b.y && a.x < b.x))
                << "page " << c.page << " " << c.width << "x" << c.height << ": control "
                << visited[i - 1] << " before " << visited[i];
        }
    }
}

TEST(KeyboardRules, FocusOnAPageShownAfreshAndBeforeAButtonDisablesItself) {
    EXPECT_EQ(FirstFocusControl(PAGE_CLIPBOARD), 6);  // the history list
    EXPECT_EQ(FirstFocusControl(PAGE_SERIAL_SETTINGS), 20);
    EXPECT_EQ(FirstFocusControl(PAGE_SYSTEM), 22);

    struct Case {
        int control;
        std::set<int> enabled;
        int next;
    };
    const Case cases[] = {
        {12, {6, 13}, 13},  // 连接 hands on to 断开, which the open port enables
        {13, {6, 12}, 12},  // and back
        {12, {6}, 6},       // 断开 not (yet) enabled: the history list
        {17, {6, 12, 13}, 6}, {9, {6, 12}, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FocusAfterDisabling(c.control,
                                      [&](int number) { return c.enabled.count(number) != 0; }),
                  c.next)
            << c.control;
    }
}

}  // namespace
}  // namespace zovrel::ui
