#include "ui/main_app_win32.h"

#include <commctrl.h>
#include <ole2.h>
// GDI+ needs the OLE types, which WIN32_LEAN_AND_MEAN leaves out of <windows.h>.
#include <gdiplus.h>

#include <system_error>

#include "clipboard/history_store.h"
#include "settings/autostart.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"
#include "ui/single_instance.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

constexpr DWORD ERROR_MUTEX_EXISTS = 183;  // ERROR_ALREADY_EXISTS

}  // namespace

HWND FindRunningInstanceWindow() {
    // FindWindowEx walks the top-level windows of the class, hidden ones included.
    const DWORD self = ::GetCurrentProcessId();
    for (HWND window = ::FindWindowExW(nullptr, nullptr, MAIN_WINDOW_CLASS, nullptr);
         window != nullptr; window = ::FindWindowExW(nullptr, window, MAIN_WINDOW_CLASS, nullptr)) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        wchar_t className[64] = {};
        const int length = ::GetClassNameW(window, className, 64);
        if (IsRunningInstanceWindow(process != self,
                                    std::wstring_view(className, length > 0 ? length : 0))) {
            return window;
        }
    }
    return nullptr;
}

CCP_MainApp::CCP_MainApp() = default;

CCP_MainApp::~CCP_MainApp() {
    DestroyHostFrame();
    if (graphicsToken_ != 0) {
        Gdiplus::GdiplusShutdown(graphicsToken_);
    }
    if (oleInitialized_) {
        ::OleUninitialize();
    }
}

bool CCP_MainApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    // Its result is not checked: drag and drop and the shell work without it, only less well.
    oleInitialized_ = SUCCEEDED(::OleInitialize(nullptr));

    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&graphicsToken_, &input, nullptr) != Gdiplus::Ok) {
        // Images then fail one by one; everything else works.
        graphicsToken_ = 0;
    }

    instanceMutex_.Reset(::CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX_NAME));
    const DWORD mutexError = ::GetLastError();
    if (!instanceMutex_ || mutexError == ERROR_MUTEX_EXISTS) {
        instanceMutex_.Reset();
        foundRunningInstance_ = true;
        if (HWND running = FindRunningInstanceWindow()) {
            // Only the foreground process (this one, just started by the user) may hand the
            // foreground on; without this the user sees a flashing taskbar button instead.
            DWORD process = 0;
            ::GetWindowThreadProcessId(running, &process);
            ::AllowSetForegroundWindow(process);
            ::PostMessageW(running, WM_SHOW_MAIN, 0, 0);
        }
        return false;
    }

    hostFrame_ = std::make_unique<CMainFrame>(GetHistoryStore(), GetTransferProtocol(), &watcher_);
    if (!hostFrame_->Create()) {
        hostFrame_.reset();
        return false;
    }

    if (ReadAutostart()) {
        // Keeps the Run value pointing at this executable even after the program moved.
        SetAutostart(true);
    }
    watcher_.StartWatching(&hostFrame_->MainWindow());
    for (const std::wstring& fingerprint : GetHistoryStore().GetIgnoredFingerprints()) {
        watcher_.AddWatcherIgnoredFingerprint(fingerprint);
    }
    StartFingerprintWorker();
    return true;
}

void CCP_MainApp::StartFingerprintWorker() {
    // Images whose fingerprint was not stored (a history from an older version, a file that
    // changed) are hashed once the window is up, behind the user's own work.
    try {
        fingerprintWorker_ = std::jthread([](std::stop_token stop) {
            ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
            GetHistoryStore().CompleteFingerprints(stop);
        });
    } catch (const std::system_error&) {
        // Without it each fingerprint is computed when first needed.
    }
}

int CCP_MainApp::Run() {
    MSG message{};
    int exitCode = 0;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            exitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) {
            exitCode = 1;
            break;
        }
        // Tab moves between the main window's controls, Enter presses its default button.
        HWND main = hostFrame_ ? hostFrame_->MainWindow().Hwnd() : nullptr;
        if (main != nullptr && ::IsDialogMessageW(main, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // Before the exit sequence: cancels a running send, closes the port, removes the tray icon.
    if (hostFrame_) {
        hostFrame_->Destroy();
    }
    return exitCode;
}

int CCP_MainApp::ExitInstance(int exitCode) {
    watcher_.StopWatching();
    fingerprintWorker_.request_stop();
    if (fingerprintWorker_.joinable()) {
        fingerprintWorker_.join();
    }
    GetHistoryStore().SaveHistory();
    if (graphicsToken_ != 0) {
        Gdiplus::GdiplusShutdown(graphicsToken_);
        graphicsToken_ = 0;
    }
    instanceMutex_.Reset();
    return exitCode;
}

bool CCP_MainApp::WaitForLateSend(DWORD ms) {
    if (!hostFrame_) {
        return true;
    }
    if (hostFrame_->OpenStillRunning()) {
        return false;  // it holds the serial link for as long as the system takes
    }
    const std::shared_ptr<ProtocolEngine> engine = hostFrame_->LateSend();
    for (DWORD waited = 0; engine && engine.use_count() > 2; waited += 50) {
        // Two holders: the frame and this function. More means the send task still has it.
        if (waited >= ms) {
            return false;
        }
        ::Sleep(50);
    }
    return true;
}

void CCP_MainApp::DestroyHostFrame() {
    hostFrame_.reset();
}

}  // namespace zovrel::ui
