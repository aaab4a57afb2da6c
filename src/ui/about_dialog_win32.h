#pragma once

// The modal About dialog (template 192): name, version, support address and community link.

#include <windows.h>

#include <string>

namespace zovrel::ui {

class CZovrelAboutDlg {
  public:
    explicit CZovrelAboutDlg(HWND parent);
    ~CZovrelAboutDlg();
    CZovrelAboutDlg(const CZovrelAboutDlg&) = delete;
    CZovrelAboutDlg& operator=(const CZovrelAboutDlg&) = delete;
    // Runs the dialog modally; the button's id, or -1 when it could not be shown.
    INT_PTR DoModal();

    // The rest is declared below by the dialog's own code.
};

}  // namespace zovrel::ui
