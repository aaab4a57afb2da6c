#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>

#include "base/text.h"
#include "cli/cli_console.h"

namespace zovrel {
namespace {

std::atomic<bool> g_stopRequested{false};
HANDLE g_shutdownComplete = nullptr;

// Longest a console-close handler keeps the process alive; Windows ends it after about 5 s.
constexpr DWORD CLOSE_WAIT_MS = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
    g_stopRequested.store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: let the main thread close the port first.
        if (g_shutdownComplete != nullptr)
            ::WaitForSingleObject(g_shutdownComplete, CLOSE_WAIT_MS);
    }
    return TRUE;
}

}  // namespace

void PrepareConsoleOutput() {
    // Binary mode: UTF-8 bytes pass unchanged and "\n" stays "\n" for scripts that read us.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
}

void InstallStopHandlers() {
    if (g_shutdownComplete == nullptr)
        g_shutdownComplete = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return g_stopRequested.load();
}

void MarkShutdownComplete() {
    if (g_shutdownComplete != nullptr)
        ::SetEvent(g_shutdownComplete);
}

std::wstring AbsolutePath(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    return full;
}

}  // namespace zovrel
