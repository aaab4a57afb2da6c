#include "ui/drop_rules.h"

#include "clipboard/clipboard_access.h"

namespace zovrel::ui {

DropPlan PlanDrop(const std::vector<DroppedPath>& dropped, bool sending, uint64_t now) {
    DropPlan plan;
    bool anyFile = false;
    for (const DroppedPath& d : dropped) {
        if (d.kind == DroppedKind::Missing) {
            continue;
        }
        anyFile = anyFile || d.kind == DroppedKind::File;
        plan.entry.files.push_back(d.path);
        if (d.kind == DroppedKind::File) {
            plan.entry.dataSize += d.size;
        }
    }
    if (!anyFile) {
        plan.entry = ClipboardEntry();
        plan.status = kDropNoFiles;
        return plan;
    }
    plan.entry.kind = ENTRY_KIND_FILES;
    plan.entry.text = FilesCaption(plan.entry.files);
    plan.entry.time = now;
    plan.add = true;
    plan.send = !sending;
    if (sending) {
        plan.status = kDropAddedWhileSending;
    }
    return plan;
}

}  // namespace zovrel::ui
