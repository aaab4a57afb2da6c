#include "ui/host_frame_win32.h"

#include <thread>

#include "base/win32_handle.h"
#include "clipboard/clipboard_watcher.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"
#include "ui/host_frame_rules.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

CMainFrame::CMainFrame(ClipboardHistory& history, TransferProtocol& engine,
                       CZovrelClipboardWatcher* watcher, SerialLink::Options linkOptions,
                       TickSource* ticks)
    : engine_(engine),
      watcher_(watcher),
      ticks_(ticks != nullptr ? *ticks : SystemTicks()),
      uiThread_(std::this_thread::get_id()),
      savedPort_(&ReadUartComPort),
      mainWindow_(history),
      serialLink_(&mainWindow_, WithSavedPort(std::move(linkOptions))),
      portRequests_(serialLink_, &mainWindow_) {}

SerialLink::Options CMainFrame::WithSavedPort(SerialLink::Options options) {
    if (!options.configuredPort) {
        // Only the reader thread asks while the port is open, on every pass, and only whether a
        // port is still configured: it gets the value read last. Opening (on the requests'
        // thread) and reconnecting (port closed) read the file.
        options.configuredPort = [this] {
            const std::thread::id thread = std::this_thread::get_id();
            const bool readerWhileOpen =
                thread != uiThread_ && thread != portRequests_.WorkerId() && serialLink_.IsOpen();
            return savedPort_.Read(!readerWhileOpen);
        };
    }
    return options;
}

CMainFrame::~CMainFrame() {
    // Here, not in the base, so the destruction sequence still finds every member.
    Destroy();
}

bool CMainFrame::Create() {
    WNDCLASSEXW windowClass{};
    windowClass.lpszClassName = HOST_FRAME_CLASS;
    if (!CreateOwnWindow(windowClass, 0, HOST_FRAME_TITLE, 0, 0, 0, 1, 1, nullptr, nullptr)) {
        return false;
    }
    ::ShowWindow(Hwnd(), SW_HIDE);
    return true;
}

LRESULT CMainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate() ? 0 : -1;
        case WM_CLOSE:
            // Closing only hides the main window; the program lives on in the tray.
            if (mainWindow_.IsCreated()) {
                ::ShowWindow(mainWindow_.Hwnd(), SW_HIDE);
            }
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return DefaultHandling(message, wParam, lParam);
        case WM_TRAY_NOTIFY:
            return OnTrayNotify(lParam);
        case WM_COMMAND:
            if (HIWORD(wParam) == 0) {
                OnCommand(LOWORD(wParam));
                return 0;
            }
            break;
        default:
            break;
    }
    return DefaultHandling(message, wParam, lParam);
}

bool CMainFrame::OnCreate() {
    if (!mainWindow_.Create(Hwnd())) {
        return false;
    }
    engine_.Attach(&mainWindow_, &serialLink_);
    mainWindow_.SetSerialLink(&serialLink_, &portRequests_);
    mainWindow_.SetClipboardWatcher(watcher_);
    // A port that cannot be opened shows in the connection controls and the log, not here; one
    // slow to open keeps the window waiting for nothing.
    portRequests_.StartFromSettings();
    mainWindow_.RefreshConnectionControls();
    AddTrayIcon();
    mainWindow_.SetTrayIcon(&trayIcon_);
    mainWindow_.ShowOnPage(StartPage(ReadUartComPort()));
    return true;
}

void CMainFrame::AddTrayIcon() {
    // Shared: the system frees it, the tray icon must not.
    auto icon = static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL),
                                                IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    // Without an icon in the tray the program still runs; the main window stays reachable.
    trayIcon_.Create(Hwnd(), IDR_TRAY_MENU, TRAY_TOOLTIP, icon, WM_TRAY_NOTIFY, 0, true);
    trayIcon_.SetDefaultMenuItem(ID_TRAY_SHOW_MAIN, false);
}

void CMainFrame::OnDestroy() {
    engine_.CancelSend();
    // An open still waiting is dropped; one running shares the send's wait.
    portRequests_.Finish(0);
    sendStopSleeps_ =
        WaitForSendToStop([this] { return engine_.IsSending() || portRequests_.Busy(); }, ticks_);
    // A send that outlasts the wait keeps its engine; whoever owns this frame keeps the main
    // window and the link alive until that send has let go of them.
    std::shared_ptr<ProtocolEngine> engine = engine_.AttachedEngine();
    openStillRunning_ = portRequests_.Busy();
    if (!openStillRunning_) {
        serialLink_.Close();
    }
    engine_.Detach();
    // Anyone still holding the engine now is a send task: the reader thread has stopped.
    if (engine && engine.use_count() > 1) {
        lateSend_ = std::move(engine);
    }
    trayIcon_.Remove(true);
}

LRESULT CMainFrame::OnTrayNotify(LPARAM lParam) {
    switch (TrayActionForEvent(static_cast<unsigned>(LOWORD(lParam)), trayIcon_.UsesVersion3())) {
        case TrayAction::ShowMain:
            mainWindow_.ShowOnPage(PAGE_CLIPBOARD);
            break;
        case TrayAction::OpenMenu:
            ShowTrayMenu();
            break;
        case TrayAction::NoticeClicked:
            mainWindow_.OnNoticeClicked();
            break;
        case TrayAction::None:
            break;
    }
    return 1;
}

void CMainFrame::ShowTrayMenu() {
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) {
        return;
    }
    for (const TrayMenuItem& item : TRAY_MENU_ITEMS) {
        if (item.command == 0) {
            ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
        } else {
            ::AppendMenuW(menu.Get(), MF_STRING, static_cast<UINT_PTR>(item.command), item.text);
        }
    }
    // The default item shows in bold, as Enter in the menu and a double click would choose it.
    ::SetMenuDefaultItem(menu.Get(), ID_TRAY_SHOW_MAIN, FALSE);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without this the menu stays open when the user clicks elsewhere.
    ::SetForegroundWindow(Hwnd());
    ::TrackPopupMenu(menu.Get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, Hwnd(), nullptr);
    // Lets the menu close properly when it is opened again at once.
    ::PostMessageW(Hwnd(), WM_NULL, 0, 0);
}

void CMainFrame::OnCommand(int command) {
    switch (command) {
        case ID_TRAY_SHOW_MAIN:
            mainWindow_.ShowOnPage(PAGE_CLIPBOARD);
            break;
        case ID_TRAY_EXIT:
            ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
            ::PostQuitMessage(0);
            break;
        default:
            break;
    }
}

}  // namespace zovrel::ui
