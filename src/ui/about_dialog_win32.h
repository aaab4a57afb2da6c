#pragma once

// The modal About dialog (template 192): name, version, support address and community link.

#include <windows.h>

#include <functional>
#include <string>

#include "base/win32_handle.h"

namespace zovrel::ui {

class CZovrelAboutDlg {
  public:
    // Opens a link target with the shell; true when the shell accepted it.
    using OpenTarget = std::function<bool(HWND dialog, const std::wstring& target)>;

    explicit CZovrelAboutDlg(HWND parent);
    // `executablePath`: whose folder (and parent folder) hold the "version" file.
    CZovrelAboutDlg(HWND parent, std::wstring executablePath);
    ~CZovrelAboutDlg();
    CZovrelAboutDlg(const CZovrelAboutDlg&) = delete;
    CZovrelAboutDlg& operator=(const CZovrelAboutDlg&) = delete;
    // Runs the dialog modally; the button's id, or -1 when it could not be shown.
    INT_PTR DoModal();
    // The same dialog without a modal loop (tests, screenshots); null on failure. The window is
    // destroyed with this object.
    HWND CreateModeless();

    // The version text shown: from the "version" file beside the executable, else from its
    // parent folder, else "1.0.0".
    std::wstring ReadVersion() const;
    // Opens an e-mail address ("mailto:" put in front) or a web link; false for an empty text
    // or when the shell refuses.
    bool OpenLink(const std::wstring& text);
    // Replaces the shell for OpenLink (tests).
    void SetOpenTarget(OpenTarget open) { openTarget_ = std::move(open); }

  private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void ApplyUnderlinedFont();
    bool IsLinkItem(HWND control) const;

    HWND parent_;
    std::wstring executablePath_;
    HWND dialog_ = nullptr;
    bool modeless_ = false;
    // The two clickable items (1202 address, 1203 link), known once the dialog is up.
    HWND emailItem_ = nullptr;
    HWND linkItem_ = nullptr;
    UniqueBrush whiteBrush_;
    UniqueBrush focusBrush_;
    UniqueFont underlinedFont_;
    OpenTarget openTarget_;
};

}  // namespace zovrel::ui
