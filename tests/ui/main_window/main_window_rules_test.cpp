#include "ui/main_window_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "support/test_support.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

TEST(MainWindowRules, LogPaneTrimAndScrolledToTheEnd) {
    // Past the threshold the pane keeps its last characters.
    EXPECT_EQ(LogTrimCut(LOG_TRIM_THRESHOLD), std::nullopt);
    EXPECT_EQ(LogTrimCut(LOG_TRIM_THRESHOLD + 1), LOG_TRIM_THRESHOLD + 1 - LOG_KEEP_CHARS);
    // The cut moves back to the start of its line; without a line start the cut itself; a line
    // that starts the pane removes nothing.
    EXPECT_EQ(LogTrimEnd(40961, 40900), 40900);
    EXPECT_EQ(LogTrimEnd(40961, -1), 40961);
    EXPECT_EQ(LogTrimEnd(40961, 0), 0);

    EXPECT_TRUE(IsScrolledToEnd(false, 500, 0, 10));   // unknown: follow the new line
    EXPECT_TRUE(IsScrolledToEnd(true, 100, 90, 11));   // last page shown
    EXPECT_FALSE(IsScrolledToEnd(true, 100, 89, 11));  // one line up
    EXPECT_TRUE(IsScrolledToEnd(true, 100, 100, 0));   // page 0 counts as 1
}

TEST(MainWindowRules, PortComboChoices) {
    const std::vector<std::wstring> two = {L"COM3", L"COM5"};
    const auto clipboard = [](const std::vector<std::wstring>& names, const wchar_t* saved) {
        const ClipboardPortChoice choice = ChooseClipboardPort(names, saved);
        return std::pair(choice.selected, choice.appendSavedPort);
    };
    EXPECT_EQ(clipboard(two, L"  com5 "), std::pair(1, false));  // any case, trimmed here
    EXPECT_EQ(clipboard(two, L""), std::pair(0, false));         // nothing saved: the first port
    EXPECT_EQ(clipboard({}, L""), std::pair(-1, false));
    EXPECT_EQ(clipboard(two, L"COM7"), std::pair(2, true));  // unplugged: appended and selected
    EXPECT_EQ(ChooseSettingsPort(two, L"com5"), 1);
    EXPECT_EQ(ChooseSettingsPort(two, L"COM7"), 0);  // unplugged ports are not offered here
    EXPECT_EQ(ChooseSettingsPort({}, L"COM3"), -1);
    EXPECT_EQ(ChooseSettingsPort(two, L" COM5"), 0);  // not trimmed on this page

    const std::vector<std::wstring> stored = {L" COM3 ", L""};
    EXPECT_EQ(PortNameAt(stored, 0), L"COM3");
    EXPECT_EQ(PortNameAt(stored, 2) + PortNameAt(stored, -1), L"");

    EXPECT_EQ(ChooseConnectPort(L"COM3", L"COM5"), L"COM5");
    EXPECT_EQ(ChooseConnectPort(L" COM3 ", L"  "), L"COM3");
}

TEST(MainWindowRules, PortComboTextsAndActOnce) {
    // The repeated name goes, in any case; another name stays.
    EXPECT_EQ(ClipboardPortText({L"COM5", L"", L"CH340 (com5) "}), L"COM5 - CH340");
    EXPECT_EQ(ClipboardPortText({L"COM12", L"", L"Bluetooth (COM1)"}), L"COM12 - Bluetooth (COM1)");

    // Arrow keys on the closed combo wait; browsing the open list does nothing yet.
    EXPECT_EQ(PortComboActionFor(PortComboEvent::SELECTION_MOVED, false),
              PortComboAction::START_DELAY);
    EXPECT_EQ(PortComboActionFor(PortComboEvent::SELECTION_MOVED, true), PortComboAction::NONE);
    EXPECT_EQ(PortComboActionFor(PortComboEvent::LIST_CLOSED, false), PortComboAction::CHOOSE);

    EXPECT_TRUE(PortChoiceOpens(L"COM5", L"COM3", true));
    EXPECT_FALSE(PortChoiceOpens(L" COM3 ", L"com3", true));  // already open
    EXPECT_TRUE(PortChoiceOpens(L"COM3", L"COM3", false));    // failed or closed: choosing retries
    EXPECT_FALSE(PortChoiceOpens(L"", L"COM3", false));
}

TEST(MainWindowRules, TransferTextAndProgressBar) {
    EXPECT_EQ(TransferTextFor(100, L""), L"100%");
    EXPECT_EQ(TransferTextFor(-1, L""), std::nullopt);  // nothing to show: the old text stays
    EXPECT_EQ(TransferTextFor(30, L"等待设备应答"), L"等待设备应答");
    EXPECT_EQ(ProgressBarFor(100, true).position, 100);
    EXPECT_TRUE(ProgressBarFor(100, true).shown);
    EXPECT_FALSE(ProgressBarFor(50, false).shown || ProgressBarFor(101, true).shown);
}

TEST(MainWindowRules, EntryFolderPath) {
    const auto folder = [](std::vector<std::wstring> files, std::wstring text = L"") {
        ClipboardEntry entry = test::FilesEntry(std::move(files));
        entry.text = std::move(text);
        return EntryFolderPath(entry);
    };
    EXPECT_EQ(folder({L"", L"C:\\a\\b.txt", L"D:\\x"}), L"C:\\a");  // the first non-empty path
    EXPECT_EQ(folder({}, L"D:\\x\\y"), L"D:\\x");                   // no paths: the text
    EXPECT_EQ(folder({L"\\f"}), L"\\");                             // the root of the current drive
    EXPECT_EQ(folder({L"C:\\f.txt"}), L"C:\\");    // the root, not the drive's current folder
    EXPECT_EQ(folder({L"C:\\a:\\f"}), L"C:\\a:");  // a folder named like a drive
    EXPECT_EQ(EntryFolderPath(test::TextEntry(L"C:\\a\\b")), L"");  // text entries open nothing
}

TEST(MainWindowRules, HistoryListKeepsItsPlace) {
    // The new selection and top row.
    const auto place = [](int rowCount, int topIndex, int selection, int count) {
        const HistoryListPlace p = PlaceHistoryList(rowCount, topIndex, selection, count);
        return std::pair(p.selection, p.topIndex);
    };
    EXPECT_EQ(place(3, 1, 2, 4), std::pair(0, 0));     // grew: back to the top
    EXPECT_EQ(place(3, 1, 2, 3), std::pair(2, 1));     // same count: place kept
    EXPECT_EQ(place(3, 0, -1, 3), std::pair(0, 0));    // no selection: the first row
    EXPECT_EQ(place(3, 2, 2, 2), std::pair(0, 1));     // shrank: both kept inside
    EXPECT_EQ(place(5, 0, 3, 0), std::pair(-1, 0));    // emptied
    EXPECT_EQ(place(-1, -1, -1, 3), std::pair(0, 2));  // unreadable list
}

}  // namespace
}  // namespace zovrel::ui
