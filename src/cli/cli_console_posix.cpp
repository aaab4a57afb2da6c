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

void Write(FILE* stream, const std::wstring& text, bool newline) {
    std::string bytes = ToUtf8(text);
    if (newline)
        bytes += '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void PrepareConsoleOutput() {
    // A reader that went away must not end a run that is writing to the port.
    signal(SIGPIPE, SIG_IGN);
}

void WriteStdoutLine(const std::wstring& line) {
    Write(stdout, line, true);
}
void WriteStderrLine(const std::wstring& line) {
    Write(stderr, line, true);
}
void WriteStdout(const std::wstring& text) {
    Write(stdout, text, false);
}
void WriteStderr(const std::wstring& text) {
    Write(stderr, text, false);
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
