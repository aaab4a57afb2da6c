#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "cli/cli_console.h"

namespace zovrel {
namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int) {
    g_stopRequested.store(true);
}

}  // namespace

void PrepareConsoleOutput() {
    // A reader that went away must not end a run that is writing to the port.
    signal(SIGPIPE, SIG_IGN);
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool StopRequested() {
    return g_stopRequested.load();
}

void MarkShutdownComplete() {}

std::wstring AbsolutePath(const std::wstring& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ToUtf8(path), error);
    if (error)
        return path;
    return FromUtf8(absolute.lexically_normal().string());
}

}  // namespace zovrel
