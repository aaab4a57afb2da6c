// Files dropped on the main window: what is added, what is sent, what the status line says.

#include "ui/drop_rules.h"

#include <gtest/gtest.h>

namespace zovrel::ui {
namespace {

TEST(DropRules, FilesAreAddedAndSentFoldersAloneAreNot) {
    const DroppedPath a{L"C:\\a.txt", DroppedKind::File, 10};
    const DroppedPath b{L"C:\\b.bin", DroppedKind::File, 5};
    const DroppedPath folder{L"C:\\dir", DroppedKind::Folder, 0};
    const DroppedPath gone{L"C:\\gone", DroppedKind::Missing, 0};
    struct Case {
        const char* what;
        std::vector<DroppedPath> dropped;
        bool sending;
        std::vector<std::wstring> files;  // the new entry's; empty: nothing added
        bool send;
        const wchar_t* status;
        const wchar_t* caption;
        int64_t size;
    };
    const Case cases[] = {
        {"one file", {a}, false, {a.path}, true, L"", L"C:\\a.txt", 10},
        {"files and a folder, in drop order",
         {folder, a, gone, b},
         false,
         {folder.path, a.path, b.path},
         true,
         L"",
         L"3 个文件",
         15},
        {"while a send runs",
         {a, b},
         true,
         {a.path, b.path},
         false,
         kDropAddedWhileSending,
         L"2 个文件",
         15},
        {"folders only", {folder, folder}, false, {}, false, kDropNoFiles, L"", 0},
        {"folders only while sending", {folder}, true, {}, false, kDropNoFiles, L"", 0},
        {"gone by now", {gone}, false, {}, false, kDropNoFiles, L"", 0},
        {"nothing", {}, false, {}, false, kDropNoFiles, L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DropPlan plan = PlanDrop(c.dropped, c.sending, 42);
        EXPECT_EQ(plan.add, !c.files.empty());
        EXPECT_EQ(plan.entry.files, c.files);
        EXPECT_EQ(plan.send, c.send);
        EXPECT_EQ(plan.status, c.status);
        if (plan.add) {
            EXPECT_EQ(plan.entry.kind, ENTRY_KIND_FILES);
            EXPECT_EQ(plan.entry.text, c.caption);
            EXPECT_EQ(plan.entry.dataSize, c.size);
            EXPECT_EQ(plan.entry.time, 42u);
        }
    }
}

}  // namespace
}  // namespace zovrel::ui
