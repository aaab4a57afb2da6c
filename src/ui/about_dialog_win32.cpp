#include "ui/about_dialog_win32.h"

#include <shellapi.h>

#include <optional>
#include <vector>

#include "ui/about_text.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {

namespace {

// Posted to itself on a DPI change, handled once the default handling has rescaled the dialog.
constexpr UINT WM_REFRESH_LINK_FONT = WM_APP + 1;
constexpr COLORREF LINK_COLOUR = RGB(25, 118, 210);
constexpr COLORREF FOCUSED_LINK_COLOUR = RGB(221, 236, 255);
// Repaints the links after the focus moved between the dialog's controls.
constexpr UINT WM_REFRESH_LINKS = WM_APP + 2;
// The first line of a version file is short; a huge or wrong file is not read in whole.
constexpr DWORD VERSION_READ_LIMIT = 4096;

std::wstring ExecutablePath() {
    // Long paths are cut at the buffer's size, which would name the wrong folder.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> ReadFileStartWin32(const std::wstring& path) {
    // Others may read the file meanwhile, nobody may write it.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return std::nullopt;
    }
    std::string bytes(VERSION_READ_LIMIT, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), VERSION_READ_LIMIT, &read, nullptr)) {
        return std::string();
    }
    bytes.resize(read);
    return bytes;
}

bool ShellOpen(HWND dialog, const std::wstring& target) {
    const HINSTANCE result =
        ::ShellExecuteW(dialog, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace

CZovrelAboutDlg::CZovrelAboutDlg(HWND parent) : CZovrelAboutDlg(parent, ExecutablePath()) {}

CZovrelAboutDlg::CZovrelAboutDlg(HWND parent, std::wstring executablePath)
    : parent_(parent),
      executablePath_(std::move(executablePath)),
      whiteBrush_(::CreateSolidBrush(RGB(255, 255, 255))),
      focusBrush_(::CreateSolidBrush(FOCUSED_LINK_COLOUR)),
      openTarget_(&ShellOpen) {}

CZovrelAboutDlg::~CZovrelAboutDlg() {
    if (dialog_ != nullptr && ::IsWindow(dialog_)) {
        ::DestroyWindow(dialog_);
    }
}

INT_PTR CZovrelAboutDlg::DoModal() {
    modeless_ = false;
    return ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUT), parent_,
                             &CZovrelAboutDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND CZovrelAboutDlg::CreateModeless() {
    if (dialog_ != nullptr) {
        return nullptr;
    }
    modeless_ = true;
    return ::CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUT), parent_,
                                &CZovrelAboutDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

std::wstring CZovrelAboutDlg::ReadVersion() const {
    return ReadVersionFor(executablePath_, &ReadFileStartWin32);
}

bool CZovrelAboutDlg::OpenLink(const std::wstring& text) {
    const std::wstring target = LinkTarget(text);
    return !target.empty() && openTarget_ && openTarget_(dialog_, target);
}

bool CZovrelAboutDlg::IsLinkItem(HWND control) const {
    return control != nullptr && (control == emailItem_ || control == linkItem_);
}

void CZovrelAboutDlg::OnInitDialog() {
    ::SetWindowTextW(dialog_, ABOUT_TITLE);
    ::SetDlgItemTextW(dialog_, IDC_ABOUT_VERSION, VersionLine(ReadVersion()).c_str());
    ::SetDlgItemTextW(dialog_, IDC_ABOUT_EMAIL, SUPPORT_EMAIL);
    ::SetDlgItemTextW(dialog_, IDC_ABOUT_LINK, COMMUNITY_LINK);
    emailItem_ = ::GetDlgItem(dialog_, IDC_ABOUT_EMAIL);
    linkItem_ = ::GetDlgItem(dialog_, IDC_ABOUT_LINK);
    ApplyUnderlinedFont();
}

// The links get an underlined copy of the dialog's font; again after a DPI change, when the
// dialog's own font has been made anew for the new scale.
void CZovrelAboutDlg::ApplyUnderlinedFont() {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(dialog_, WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    if (font == nullptr || ::GetObjectW(font, sizeof(logFont), &logFont) != sizeof(logFont)) {
        return;
    }
    logFont.lfUnderline = TRUE;
    UniqueFont underlined(::CreateFontIndirectW(&logFont));
    if (!underlined.IsValid()) {
        return;
    }
    for (HWND item : {emailItem_, linkItem_}) {
        ::SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(underlined.Get()), TRUE);
    }
    underlinedFont_ = std::move(underlined);  // the old one is no longer in use
}

INT_PTR CALLBACK CZovrelAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<CZovrelAboutDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CZovrelAboutDlg*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->dialog_ = dialog;
    }
    if (self == nullptr) {
        return FALSE;
    }
    const INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
        self->dialog_ = nullptr;
        self->emailItem_ = nullptr;
        self->linkItem_ = nullptr;
    }
    return result;
}

INT_PTR CZovrelAboutDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            // "确定" first, so Enter closes the dialog; Tab reaches the links.
            ::SetFocus(::GetDlgItem(dialog_, IDOK));
            return FALSE;
        case WM_CTLCOLORSTATIC:
            if (IsLinkItem(reinterpret_cast<HWND>(lParam))) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                ::SetTextColor(dc, LINK_COLOUR);
                ::SetBkMode(dc, TRANSPARENT);
                // A static shows no focus of its own: the focused link gets a tinted ground.
                const bool focused = ::GetFocus() == reinterpret_cast<HWND>(lParam);
                return reinterpret_cast<INT_PTR>(focused ? focusBrush_.Get() : whiteBrush_.Get());
            }
            return FALSE;
        case WM_DPICHANGED:
            ::PostMessageW(dialog_, WM_REFRESH_LINK_FONT, 0, 0);
            return FALSE;
        case WM_REFRESH_LINK_FONT:
            ApplyUnderlinedFont();
            return TRUE;
        case WM_NEXTDLGCTL:  // Tab and Shift+Tab, before the focus moves
            ::PostMessageW(dialog_, WM_REFRESH_LINKS, 0, 0);
            return FALSE;
        case WM_REFRESH_LINKS:
            for (HWND item : {emailItem_, linkItem_}) {
                ::InvalidateRect(item, nullptr, TRUE);
            }
            return TRUE;
        case WM_SETCURSOR:
            if (IsLinkItem(reinterpret_cast<HWND>(wParam))) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) == STN_CLICKED && id == IDC_ABOUT_EMAIL) {
                OpenLink(SUPPORT_EMAIL);
                return TRUE;
            }
            if (HIWORD(wParam) == STN_CLICKED && id == IDC_ABOUT_LINK) {
                OpenLink(COMMUNITY_LINK);
                return TRUE;
            }
            if (id == IDOK && IsLinkItem(::GetFocus())) {
                // Enter on a link opens it, as a click does.
                OpenLink(::GetFocus() == emailItem_ ? SUPPORT_EMAIL : COMMUNITY_LINK);
                return TRUE;
            }
            if (id == IDOK || id == IDCANCEL) {
                if (modeless_) {
                    ::DestroyWindow(dialog_);
                } else {
                    ::EndDialog(dialog_, id);
                }
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace zovrel::ui
