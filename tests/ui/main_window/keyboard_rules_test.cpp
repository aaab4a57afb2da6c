// The keyboard's rules: what a key does in the history list, the row menu, Esc per page, the
// Tab order against the real layout, and where the focus goes.

#include "ui/keyboard_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "ui/main_window_layout.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

using history_list::RowPart;

TEST(KeyboardRules, HistoryListKeysAndEscape) {
    const std::tuple<unsigned, bool, bool, bool, ListKeyAction> cases[] = {
        {KEY_RETURN, false, false, false, ListKeyAction::Activate},
        {KEY_DELETE, false, false, false, ListKeyAction::Delete},
        {KEY_F10, true, false, false, ListKeyAction::OpenMenu},
        {KEY_F10, false, false, false, ListKeyAction::None},    // F10 alone: the menu bar's key
        {KEY_RETURN, false, false, true, ListKeyAction::None},  // Alt+Enter
        {KEY_DELETE, false, true, false, ListKeyAction::None},  // Ctrl+Delete
    };
    for (const auto& [key, shift, control, alt, action] : cases)
        EXPECT_EQ(HistoryListKeyAction(key, shift, control, alt), action)
            << key << shift << control;
    EXPECT_EQ(EscapeActionFor(PAGE_CLIPBOARD), EscapeAction::HideWindow);
    EXPECT_EQ(EscapeActionFor(PAGE_SYSTEM), EscapeAction::BackToClipboardPage);
}

TEST(KeyboardRules, RowMenuOffersWhatTheRowButtonsDo) {
    std::vector<RowPart> parts;
    for (const RowMenuItem& item : RowMenuItems(true)) {
        parts.push_back(item.part);
        EXPECT_NE(RowRequestMessage(item.part), 0u);
    }
    EXPECT_EQ(parts, (std::vector<RowPart>{RowPart::Send, RowPart::Delete, RowPart::OpenFolder,
                                           RowPart::Pin}));
    EXPECT_EQ(RowMenuItems(false).size(), 3u);  // no folder to open
    EXPECT_EQ(RowRequestMessage(RowPart::None), 0u);
}

// The controls Tab stops at and where the layout puts them: those it places on this page.
std::map<int, LayoutRect> TabStopsAsLaidOut(int page, bool log, int width, int height, int dpi) {
    const MainWindowLayout l = LayoutControls(page, width, height, dpi, log, 400);
    std::map<int, LayoutRect> stops = {
        {2, l.menuButton},         {9, l.clearHistory},   {6, l.historyList},
        {4, l.clearLog},           {5, l.logPane},        {11, l.portCombo},
        {12, l.connect},           {13, l.disconnect},    {17, l.cancelSend},
        {20, l.settingsPortCombo}, {21, l.debugLogCheck}, {22, l.autostartCheck},
        {26, l.notifyCheck},       {28, l.showHotkey},    {31, l.sendHotkey},
        {24, l.cancelSettings},    {23, l.save}};
    std::erase_if(stops, [](const auto& stop) { return stop.second == LayoutRect{}; });
    return stops;
}

TEST(KeyboardRules, TabFollowsTheScreenTopToBottomThenLeftToRight) {
    // Page, log shown, client width and height, DPI.
    const std::tuple<int, bool, int, int, int> cases[] = {
        {PAGE_CLIPBOARD, false, 560, 680, 96},  {PAGE_CLIPBOARD, true, 420, 360, 96},
        {PAGE_CLIPBOARD, true, 1200, 900, 144}, {PAGE_SERIAL_SETTINGS, false, 360, 200, 96},
        {PAGE_SYSTEM, false, 900, 700, 144},    {PAGE_SYSTEM, false, 360, 190, 96},
    };
    // (Below about 410 pixels the connection bar's buttons overlap "放弃": no order fits that.)
    const std::span<const int> order = ControlsInTabOrder();
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), order.size());
    for (const auto& [page, log, width, height, dpi] : cases) {
        const std::map<int, LayoutRect> stops = TabStopsAsLaidOut(page, log, width, height, dpi);
        std::vector<int> visited;
        std::copy_if(order.begin(), order.end(), std::back_inserter(visited),
                     [&](int number) { return stops.count(number) != 0; });
        ASSERT_EQ(visited.size(), stops.size()) << "a tab stop is missing from the order";
        EXPECT_EQ(stops.count(FirstFocusControl(page)), 1u) << "first focus on no tab stop";
        for (size_t i = 1; i < visited.size(); ++i) {
            const LayoutRect& a = stops.at(visited[i - 1]);
            const LayoutRect& b = stops.at(visited[i]);
            EXPECT_TRUE(a.y < b.y || (a.y == b.y && a.x < b.x))
                << "page " << page << " " << width << "x" << height << ": control "
                << visited[i - 1] << " before " << visited[i];
        }
    }
}

TEST(KeyboardRules, FocusBeforeAButtonDisablesItself) {
    const std::tuple<int, std::set<int>, int> cases[] = {
        {12, {6, 13}, 13},  // 连接 hands on to 断开, which the open port enables
        {13, {6, 12}, 12},  // and back
        {12, {6}, 6},       // 断开 not (yet) enabled: the history list
        {17, {6, 12, 13}, 6},
    };
    for (const auto& [control, enabled, next] : cases) {
        EXPECT_EQ(FocusAfterDisabling(control, [&](int n) { return enabled.count(n) != 0; }), next)
            << control;
    }
}

}  // namespace
}  // namespace zovrel::ui
