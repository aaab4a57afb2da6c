// zovrel.exe: the tray program.

#include <windows.h>

#include "ui/main_app_win32.h"

namespace {
// How long the process waits, after the exit sequence, for a send that outlasted the host frame.
constexpr DWORD LATE_SEND_WAIT_MS = 5000;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    zovrel::ui::CCP_MainApp app;
    if (!app.InitInstance()) {
        // A second instance ends quietly; a window that could not be made is a failure.
        return app.FoundRunningInstance() ? 0 : 1;
    }
    const int exitCode = app.ExitInstance(app.Run());
    if (!app.WaitForLateSend(LATE_SEND_WAIT_MS)) {
        // The send task still uses the main window and the serial link: end the process without
        // destroying them under it. The history has been saved.
        ::ExitProcess(static_cast<UINT>(exitCode));
    }
    return exitCode;
}
