#pragma once

// The program's icon in the notification area; re-added when the taskbar is recreated.

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

#include "base/win32_handle.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {

class CTrayNotifyIcon : public WindowBase {
  public:
    // Shell_NotifyIconW, or what a test puts in its place.
    using ShellNotify = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

    CTrayNotifyIcon();
    ~CTrayNotifyIcon() override;
    bool Create(HWND notifyWindow, UINT iconId, const std::wstring& tooltip, HICON icon,
                UINT callbackMessage, UINT menuIdOverride, bool show);
    void SetDefaultMenuItem(UINT item, bool byPosition);
    bool Remove(bool closeHelper);
    // A new tooltip, kept for a recreated taskbar too; cut as Create cuts it.
    bool SetTooltip(const std::wstring& tooltip);
    // A balloon notification beside the icon (title cut to 63, text to 255 characters); a
    // click on it comes to the notify window as NIN_BALLOONUSERCLICK. False when the icon is
    // not in the notification area or the shell is too old for balloons.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text);

    // Replaces Shell_NotifyIconW for every later call; set it before Create.
    void SetShellNotify(ShellNotify notify) { shellNotify_ = std::move(notify); }
    const NOTIFYICONDATAW& NotifyData() const { return data_; }
    int ShellVersion() const { return shellVersion_; }
    bool IsAdded() const { return created_; }
    bool IsIconHidden() const { return hidden_; }
    // The shell took behaviour version 3: clicks and keys arrive as NIN_SELECT, NIN_KEYSELECT
    // and WM_CONTEXTMENU.
    bool UsesVersion3() const { return versionSet_; }
    // The menu resource loaded by Create (its first sub-menu carries the default item).
    HMENU Menu() const { return menu_.Get(); }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    bool Notify(DWORD message);
    void ApplyDefaultMenuItem();
    void AddAgain();
    void SetBehaviourVersion();

    NOTIFYICONDATAW data_{};
    UniqueMenu menu_;
    UINT defaultItem_ = 0;
    bool defaultByPosition_ = true;
    int shellVersion_ = 0;
    bool created_ = false;
    bool hidden_ = false;
    bool versionSet_ = false;
    // Between Create and Remove: the icon belongs in the notification area.
    bool wanted_ = false;
    UINT taskbarCreated_ = 0;
    ShellNotify shellNotify_;
};

}  // namespace zovrel::ui
