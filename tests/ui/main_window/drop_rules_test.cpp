// Files dropped on the main window: what is added, what is sent, what the status line says.

#include "ui/drop_rules.h"

#include <gtest/gtest.h>

namespace zovrel::ui {
namespace {

TEST(DropRules, FilesAreAddedAndSentFoldersAloneAreNot) {
    const DroppedPath a{L"C:\\a", DroppedKind::File, 10}, b{L"C:\\b", DroppedKind::File, 5};
    const DroppedPath folder{L"C:\\d", DroppedKind::Folder, 0}, gone{L"C:\\x"};
    struct Case {
        std::vector<DroppedPath> dropped;
        bool sending;
        std::vector<std::wstring> files;  // the new entry's, in drop order; empty: none added
        bool send;
        std::wstring status, caption;
    };
    const Case cases[] = {
        {{a}, false, {a.path}, true, L"", a.path},
        {{folder, a, gone, b}, false, {folder.path, a.path, b.path}, true, L"", L"3 个文件"},
        {{a, b}, true, {a.path, b.path}, false, kDropAddedWhileSending, L"2 个文件"},
        {{folder, gone}, false, {}, false, kDropNoFiles, L""},
    };
    for (const Case& c : cases) {
        const DropPlan plan = PlanDrop(c.dropped, c.sending, 42);
        EXPECT_EQ(std::tuple(plan.add, plan.entry.files, plan.send, plan.status, plan.entry.text),
                  std::tuple(!c.files.empty(), c.files, c.send, c.status, c.caption));
    }
    const DropPlan two = PlanDrop({a, folder, b}, false, 42);
    EXPECT_EQ(std::tie(two.entry.kind, two.entry.dataSize, two.entry.time),
              std::tuple(ENTRY_KIND_FILES, 15, 42u));
}

}  // namespace
}  // namespace zovrel::ui
