#include "clipboard/own_write_guard.h"

#include <atomic>

namespace zovrel {

namespace {
std::atomic<int32_t> g_depth{0};
}

void BeginOwnClipboardWrite() {
    g_depth.fetch_add(1);
}

void EndOwnClipboardWrite() {
    int32_t depth = g_depth.load();
    while (depth > 0 && !g_depth.compare_exchange_weak(depth, depth - 1)) {
    }
}

int32_t OwnClipboardWriteDepth() {
    return g_depth.load();
}

}  // namespace zovrel
