#include "ui/tray_icon_win32.h"

#include <shlwapi.h>

#include <cwchar>
#include <iterator>

#include "ui/tray_icon.h"

namespace zovrel::ui {

namespace {

constexpr wchar_t HELPER_CLASS[] = L"TrayNotifyIconClass";
constexpr wchar_t HELPER_TITLE[] = L"CTrayNotifyIcon Helper Window";
constexpr UINT BEHAVIOUR_VERSION = 3;

int ReadShellVersion() {
    // Shell_NotifyIconW is imported, so the library is loaded for the life of the process.
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    auto getVersion = shell != nullptr
                          ? reinterpret_cast<DLLGETVERSIONPROC>(
                                reinterpret_cast<void*>(::GetProcAddress(shell, "DllGetVersion")))
                          : nullptr;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    const bool hasVersion = getVersion != nullptr && SUCCEEDED(getVersion(&info));
    return ShellVersionFromDll(hasVersion, info.dwMajorVersion, info.dwMinorVersion,
                               info.dwBuildNumber);
}

}  // namespace

CTrayNotifyIcon::CTrayNotifyIcon()
    : shellVersion_(ReadShellVersion()),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")),
      shellNotify_(&::Shell_NotifyIconW) {
    data_.cbSize = NotifyRecordSize(shellVersion_);
}

CTrayNotifyIcon::~CTrayNotifyIcon() {
    Remove(true);
    Destroy();
}

bool CTrayNotifyIcon::Notify(DWORD message) {
    return shellNotify_ && shellNotify_(message, &data_) != FALSE;
}

bool CTrayNotifyIcon::Create(HWND notifyWindow, UINT iconId, const std::wstring& tooltip,
                             HICON icon, UINT callbackMessage, UINT menuIdOverride, bool show) {
    const UINT menuId = menuIdOverride != 0 ? menuIdOverride : iconId;
    menu_.Reset(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(menuId)));
    if (!menu_.IsValid() || ::GetSubMenu(menu_.Get(), 0) == nullptr) {
        menu_.Reset();
        return false;
    }
    ApplyDefaultMenuItem();

    if (!IsCreated()) {
        WNDCLASSEXW windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = HELPER_CLASS;
        // A top-level window (not message-only): the "TaskbarCreated" broadcast reaches only
        // those. Never shown.
        if (!CreateOwnWindow(windowClass, 0, HELPER_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr)) {
            return false;
        }
    }

    const DWORD size = data_.cbSize;
    data_ = NOTIFYICONDATAW{};
    data_.cbSize = size;
    data_.hWnd = notifyWindow;
    data_.uID = iconId;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = callbackMessage;
    data_.hIcon = icon;
    const std::wstring tip = CutTooltip(tooltip, TooltipLimit(shellVersion_));
    std::wmemcpy(data_.szTip, tip.c_str(), tip.size() + 1);
    if (!show) {
        data_.uFlags |= NIF_STATE;
        data_.dwState = NIS_HIDDEN;
        data_.dwStateMask = NIS_HIDDEN;
    }

    // From here on a recreated taskbar gets the icon, even when this first add fails because
    // the taskbar is not up yet (a start at logon).
    wanted_ = true;
    if (!Notify(NIM_ADD)) {
        return false;
    }
    created_ = true;
    hidden_ = !show;
    SetBehaviourVersion();
    return true;
}

void CTrayNotifyIcon::SetBehaviourVersion() {
    versionSet_ = false;
    if (shellVersion_ >= 1) {
        data_.uVersion = BEHAVIOUR_VERSION;
        versionSet_ = Notify(NIM_SETVERSION);
    }
}

void CTrayNotifyIcon::SetDefaultMenuItem(UINT item, bool byPosition) {
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
    ApplyDefaultMenuItem();
}

void CTrayNotifyIcon::ApplyDefaultMenuItem() {
    if (HMENU popup = menu_.IsValid() ? ::GetSubMenu(menu_.Get(), 0) : nullptr) {
        ::SetMenuDefaultItem(popup, defaultItem_, defaultByPosition_ ? TRUE : FALSE);
    }
}

bool CTrayNotifyIcon::Remove(bool closeHelper) {
    bool removed = true;
    wanted_ = false;
    if (created_) {
        data_.uFlags = 0;
        removed = Notify(NIM_DELETE);
        created_ = false;
    }
    if (closeHelper && IsCreated()) {
        ::SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
    }
    return removed;
}

bool CTrayNotifyIcon::SetTooltip(const std::wstring& tooltip) {
    const std::wstring tip = CutTooltip(tooltip, TooltipLimit(shellVersion_));
    std::wmemcpy(data_.szTip, tip.c_str(), tip.size() + 1);
    if (!created_) {
        return false;
    }
    data_.uFlags = NIF_TIP;
    return Notify(NIM_MODIFY);
}

bool CTrayNotifyIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
    if (!created_ || shellVersion_ < 1 || text.empty()) {
        return false;
    }
    const std::wstring cutTitle = CutTooltip(title, std::size(data_.szInfoTitle) - 1);
    const std::wstring cutText = CutTooltip(text, std::size(data_.szInfo) - 1);
    std::wmemcpy(data_.szInfoTitle, cutTitle.c_str(), cutTitle.size() + 1);
    std::wmemcpy(data_.szInfo, cutText.c_str(), cutText.size() + 1);
    data_.dwInfoFlags = NIIF_INFO;
    data_.uFlags = NIF_INFO;
    const bool shown = Notify(NIM_MODIFY);
    // Not kept: the icon added again after a taskbar restart must not show it a second time.
    data_.szInfo[0] = L'\0';
    data_.szInfoTitle[0] = L'\0';
    return shown;
}

void CTrayNotifyIcon::AddAgain() {
    data_.uFlags = 0;
    Notify(NIM_DELETE);
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (hidden_) {
        data_.uFlags |= NIF_STATE;
        data_.dwState = NIS_HIDDEN;
        data_.dwStateMask = NIS_HIDDEN;
    }
    if (Notify(NIM_ADD)) {
        created_ = true;
        // A new taskbar knows nothing of the old icon's version; without it clicks would be
        // reported the old way while the host frame listens for the new one.
        SetBehaviourVersion();
    } else {
        versionSet_ = false;
    }
}

LRESULT CTrayNotifyIcon::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        if (wanted_) {
            AddAgain();
        }
        return 0;
    }
    return DefaultHandling(message, wParam, lParam);
}

}  // namespace zovrel::ui
