#pragma once

// The application object: starts the program as the one running instance, wires the host frame,
// main window, serial link, transfer engine, clipboard watcher and history together, runs the
// message loop and tears everything down in order.

#include <windows.h>

#include <memory>
#include <thread>

#include "base/win32_handle.h"
#include "clipboard/clipboard_watcher.h"
#include "ui/host_frame_win32.h"

namespace zovrel::ui {

class CCP_MainApp {
  public:
    CCP_MainApp();
    ~CCP_MainApp();
    CCP_MainApp(const CCP_MainApp&) = delete;
    CCP_MainApp& operator=(const CCP_MainApp&) = delete;

    // The start-up sequence. False ends the process at once: another instance runs (it was
    // asked to show itself when its window is visible), or the host window failed.
    bool InitInstance();
    // The message loop (keyboard navigation of the main window included); when it ends, the
    // host frame is destroyed, which removes the tray icon. Returns the loop's exit code.
    int Run();
    // The exit sequence: stop the watcher, save the history, shut GDI+ down, release the mutex.
    int ExitInstance(int exitCode);

    // True when InitInstance found another instance running.
    bool FoundRunningInstance() const { return foundRunningInstance_; }
    CMainFrame* HostFrame() { return hostFrame_.get(); }
    CZovrelClipboardWatcher& Watcher() { return watcher_; }

    // Waits up to `ms` for a send that outlasted the host frame to let go of its engine. False
    // when it still runs, or an open of the port outlasted the frame's wait: the process must
    // then end without destroying what they use.
    bool WaitForLateSend(DWORD ms);

  private:
    void DestroyHostFrame();
    void StartFingerprintWorker();

    std::unique_ptr<CMainFrame> hostFrame_;
    UniqueHandle instanceMutex_;
    ULONG_PTR graphicsToken_ = 0;
    CZovrelClipboardWatcher watcher_;
    bool foundRunningInstance_ = false;
    bool oleInitialized_ = false;
    std::jthread fingerprintWorker_;
};

// The first visible top-level window of another process titled "zovrel" or "zovrel - ...";
// null when there is none.
HWND FindRunningInstanceWindow();

}  // namespace zovrel::ui
