#include "ui/main_window_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {
namespace {

TEST(MainWindowRules, LogPaneTrim) {
    const struct {
        int length;
        std::optional<int> cut;
    } cuts[] = {{0, std::nullopt}, {204800, std::nullopt}, {204801, 40961}, {262144, 98304}};
    for (const auto& c : cuts) {
        EXPECT_EQ(LogTrimCut(c.length), c.cut) << c.length;
    }
    // The cut moves back to the start of its line; without a line start the cut itself; a line
    // that starts the pane removes nothing.
    EXPECT_EQ(LogTrimEnd(40961, 40900), 40900);
    EXPECT_EQ(LogTrimEnd(40961, 40961), 40961);
    EXPECT_EQ(LogTrimEnd(40961, -1), 40961);
    EXPECT_EQ(LogTrimEnd(40961, 0), 0);
}

TEST(MainWindowRules, ScrolledToTheEnd) {
    const struct {
        bool infoRead;
        int maximum, position, page;
        bool atEnd;
    } cases[] = {
        {false, 500, 0, 10, true},   // unknown: follow the new line
        {true, 100, 90, 11, true},   // last page shown
        {true, 100, 89, 11, false},  // one line up
        {true, 100, 100, 0, true},   // page 0 counts as 1
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsScrolledToEnd(c.infoRead, c.maximum, c.position, c.page), c.atEnd)
            << c.maximum << " " << c.position << " " << c.page;
    }
}

TEST(MainWindowRules, PortComboChoices) {
    const std::vector<std::wstring> two = {L"COM3", L"COM5"};
    const std::vector<std::wstring> none;
    struct Case {
        const std::vector<std::wstring>* names;
        std::wstring saved;
        int selected;
        bool append;  // ignored on the settings page
    };
    const Case clipboard[] = {
        {&two, L"  com5 ", 1, false},  // letter case ignored, trimmed here
        {&two, L"", 0, false},         // nothing saved: the first port
        {&none, L"", -1, false},       // nothing at all
        {&two, L"COM7", 2, true},      // saved but unplugged: appended and selected
    };
    for (const Case& c : clipboard) {
        const ClipboardPortChoice choice = ChooseClipboardPort(*c.names, c.saved);
        EXPECT_EQ(choice.selected, c.selected) << ToUtf8(c.saved);
        EXPECT_EQ(choice.appendSavedPort, c.append) << ToUtf8(c.saved);
    }

    const Case settings[] = {
        {&two, L"com5", 1, false},
        {&two, L"COM7", 0, false},  // unplugged ports are not offered here
        {&none, L"COM3", -1, false},
        {&two, L" COM5", 0, false},  // not trimmed on this page
    };
    for (const Case& c : settings) {
        EXPECT_EQ(ChooseSettingsPort(*c.names, c.saved), c.selected) << ToUtf8(c.saved);
    }

    const std::vector<std::wstring> stored = {L" COM3 ", L""};
    EXPECT_EQ(PortNameAt(stored, 0), L"COM3");
    EXPECT_EQ(PortNameAt(stored, 2) + PortNameAt(stored, -1), L"");

    EXPECT_EQ(ChooseConnectPort(L"COM3", L"COM5"), L"COM5");
    EXPECT_EQ(ChooseConnectPort(L" COM3 ", L"  "), L"COM3");
}

TEST(MainWindowRules, PortComboTextsAndActOnce) {
    const struct {
        PortInfo port;
        std::wstring text;
    } texts[] = {
        {{L"COM5", L"", L"CH340 (com5) "}, L"COM5 - CH340"},  // the repeated name goes, any case
        {{L"COM12", L"", L"Bluetooth (COM1)"}, L"COM12 - Bluetooth (COM1)"},  // another name stays
    };
    for (const auto& t : texts) {
        EXPECT_EQ(ClipboardPortText(t.port), t.text) << ToUtf8(t.port.description);
    }
    EXPECT_EQ(MissingPortText(L"COM5"), L"COM5 (未找到)");

    using E = PortComboEvent;
    using A = PortComboAction;
    const struct {
        E event;
        bool dropped;
        A action;
    } steps[] = {
        {E::SELECTION_MOVED, false, A::START_DELAY},  // arrow keys on the closed combo: wait
        {E::SELECTION_MOVED, true, A::NONE},          // browsing the open list: nothing yet
        {E::LIST_CLOSED, false, A::CHOOSE},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(PortComboActionFor(s.event, s.dropped), s.action) << static_cast<int>(s.event);
    }
    const struct {
        const wchar_t* selected;
        const wchar_t* current;
        bool openOrOpening;
        bool opens;
    } choices[] = {
        {L"COM5", L"COM3", true, true},
        {L" COM3 ", L"com3", true, false},  // already open
        {L"COM3", L"COM3", false, true},    // it failed or was closed: choosing it again retries
        {L"", L"COM3", false, false},
    };
    for (const auto& c : choices) {
        EXPECT_EQ(PortChoiceOpens(c.selected, c.current, c.openOrOpening), c.opens)
            << ToUtf8(c.selected) << " " << c.openOrOpening;
    }
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
    const struct {
        const char* name;
        uint32_t kind;
        std::vector<std::wstring> files;
        std::wstring text, folder;
    } cases[] = {
        {"first non-empty path", ENTRY_KIND_FILES, {L"", L"C:\\a\\b.txt", L"D:\\x"}, L"", L"C:\\a"},
        {"no paths: the text", ENTRY_KIND_FILES, {}, L"D:\\x\\y", L"D:\\x"},
        {"root of the current drive", ENTRY_KIND_FILES, {L"\\f"}, L"", L"\\"},
        {"drive root: the root, not the drive's current folder",
         ENTRY_KIND_FILES,
         {L"C:\\f.txt"},
         L"",
         L"C:\\"},
        {"a share's top folder", ENTRY_KIND_FILES, {L"\\\\srv\\share\\f"}, L"", L"\\\\srv\\share"},
        {"a folder named like a drive", ENTRY_KIND_FILES, {L"C:\\a:\\f"}, L"", L"C:\\a:"},
        {"text entries open nothing", ENTRY_KIND_TEXT, {}, L"C:\\a\\b", L""},
    };
    for (const auto& c : cases) {
        ClipboardEntry entry;
        entry.kind = c.kind;
        entry.files = c.files;
        entry.text = c.text;
        EXPECT_EQ(EntryFolderPath(entry), c.folder) << c.name;
    }
}

TEST(MainWindowRules, HistoryListKeepsItsPlace) {
    const struct {
        const char* name;
        int rowCount, topIndex, selection, count;
        int newSelection, newTop;
    } cases[] = {
        {"grew: back to the top", 3, 1, 2, 4, 0, 0},
        {"same count: place kept", 3, 1, 2, 3, 2, 1},
        {"no selection: the first row", 3, 0, -1, 3, 0, 0},
        {"shrank: selection and top kept inside", 3, 2, 2, 2, 0, 1},
        {"emptied", 5, 0, 3, 0, -1, 0},
        {"unreadable list", -1, -1, -1, 3, 0, 2},
    };
    for (const auto& c : cases) {
        const HistoryListPlace place =
            PlaceHistoryList(c.rowCount, c.topIndex, c.selection, c.count);
        EXPECT_EQ(place.selection, c.newSelection) << c.name;
        EXPECT_EQ(place.topIndex, c.newTop) << c.name;
    }
}

}  // namespace
}  // namespace zovrel::ui
