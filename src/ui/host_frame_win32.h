#pragma once

// The hidden top-level window that owns the tray icon, the main window and the serial link, gets
// the tray icon's clicks and runs the tray menu's commands. It is never shown.

#include <windows.h>

#include <memory>
#include <thread>

#include "base/tick_source.h"
#include "serial/port_requests.h"
#include "serial/serial_link.h"
#include "ui/main_window_win32.h"
#include "ui/saved_port_reader.h"
#include "ui/tray_icon_win32.h"
#include "ui/window_base_win32.h"

namespace zovrel {
class ClipboardHistory;
class CZovrelClipboardWatcher;
class ProtocolEngine;
class TransferProtocol;
}  // namespace zovrel

namespace zovrel::ui {

class CMainFrame : public WindowBase {
  public:
    // The parts the application object hands down; created on the user-interface thread.
    // `watcher` may be null; `linkOptions` default to the system's port and the saved port
    // setting (see SavedPortReader); `ticks` (default: the system clock) sleeps while a running
    // send is waited for at destruction.
    CMainFrame(ClipboardHistory& history, TransferProtocol& engine,
               CZovrelClipboardWatcher* watcher, SerialLink::Options linkOptions = {},
               TickSource* ticks = nullptr);
    ~CMainFrame() override;

    // Creates the hidden window; its creation sequence creates and shows the main window, wires
    // the engine and the link, opens the saved port and adds the tray icon. False when the
    // window (or the main window inside it) could not be created.
    bool Create();

    CZovrelMainWnd& MainWindow() { return mainWindow_; }
    SerialLink& Link() { return serialLink_; }
    PortRequests& Requests() { return portRequests_; }
    CTrayNotifyIcon& TrayIcon() { return trayIcon_; }

    // The engine as a send task still held it when the frame was destroyed (the send outlasted
    // the 5 s wait, or started just then); null otherwise. The main window and the serial link
    // must live until that task lets go of it (use_count() falls to 1).
    std::shared_ptr<ProtocolEngine> LateSend() const { return lateSend_; }
    // How many 100 ms sleeps the last destruction waited for a send (tests).
    int SendStopSleeps() const { return sendStopSleeps_; }
    // An open of the port outlasted that same wait: the link is still busy with it, so the
    // frame must not be destroyed (the process ends without it).
    bool OpenStillRunning() const { return openStillRunning_; }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    SerialLink::Options WithSavedPort(SerialLink::Options options);
    bool OnCreate();
    void OnDestroy();
    LRESULT OnTrayNotify(LPARAM lParam);
    void ShowTrayMenu();
    void OnCommand(int command);
    void AddTrayIcon();

    TransferProtocol& engine_;
    CZovrelClipboardWatcher* watcher_;
    TickSource& ticks_;
    std::shared_ptr<ProtocolEngine> lateSend_;
    int sendStopSleeps_ = 0;
    bool openStillRunning_ = false;
    std::thread::id uiThread_;
    SavedPortReader savedPort_;

    // Constructed in this order, destroyed in reverse: the link posts to the main window, the
    // requests drive the link.
    CTrayNotifyIcon trayIcon_;
    CZovrelMainWnd mainWindow_;
    SerialLink serialLink_;
    PortRequests portRequests_;
};

}  // namespace zovrel::ui
