#pragma once

// The program's icon in the notification area; re-added when the taskbar is recreated.

#include <shellapi.h>
#include <windows.h>

#include <string>

#include "base/win32_handle.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {

class CTrayNotifyIcon : public WindowBase {
  public:
    CTrayNotifyIcon();
    ~CTrayNotifyIcon() override;
    bool Create(HWND notifyWindow, UINT iconId, const std::wstring& tooltip, HICON icon,
                UINT callbackMessage, UINT menuIdOverride, bool show);
    void SetDefaultMenuItem(UINT item, bool byPosition);
    bool Remove(bool closeHelper);

    // The rest is declared below by the tray icon's own code.
};

}  // namespace zovrel::ui
