// Files dropped on the main window: what is added, what is sent, what the status line says.

#include "ui/drop_rules.h"

#include <gtest/gtest.h>

namespace zovrel::ui {
namespace {

TEST(DropRules, FilesAreAddedAndSentFoldersAloneAreNot) {
    const DroppedPath a{L"C:\\a", DroppedKind::File, 10}, b{L"C:\\b", DroppedKind::File, 5};
    const DroppedPath folder{L"C:\\d", DroppedKind::Folder, 0}, gone{L"C:\\x"};
    // The dropped paths, a send running; the new entry's files in drop order (none: nothing
    // added), whether it is sent, the status line and the entry's caption.
    const std::tuple<std::vector<DroppedPath>, bool, std::vector<std::wstring>, bool, std::wstring,
                     std::wstring>
        cases[] = {
            {{a}, false, {a.path}, true, L"", a.path},
            {{folder, a, gone, b}, false, {folder.path, a.path, b.path}, true, L"", L"3 个文件"},
            {{a, b}, true, {a.path, b.path}, false, kDropAddedWhileSending, L"2 个文件"},
            {{folder, gone}, false, {}, false, kDropNoFiles, L""},
        };
    for (const auto& [dropped, sending, files, send, status, caption] : cases) {
        const DropPlan plan = PlanDrop(dropped, sending, 42);
        EXPECT_EQ(std::tuple(plan.add, plan.entry.files, plan.send, plan.status, plan.entry.text),
                  std::tuple(!files.empty(), files, send, status, caption));
    }
    const DropPlan two = PlanDrop({a, folder, b}, false, 42);
    EXPECT_EQ(std::tie(two.entry.kind, two.entry.dataSize, two.entry.time),
              std::tuple(ENTRY_KIND_FILES, 15, 42u));
}

}  // namespace
}  // namespace zovrel::ui
