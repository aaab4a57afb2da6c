// The main window: placing the controls, painting the bands, control colours and the splitter.

#include "ui/main_window_win32.h"

#include <cwchar>

#include "ui/main_window_rules.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace {

constexpr COLORREF kTopBandColour = RGB(249, 249, 249);
constexpr COLORREF kBodyColour = RGB(255, 255, 255);
constexpr COLORREF kBottomBandColour = RGB(240, 240, 240);
constexpr COLORREF kControlTextColour = RGB(32, 32, 32);

void FillSolid(HDC dc, const LayoutRect& r, COLORREF colour) {
    if (r.w <= 0 || r.h <= 0) {
        return;
    }
    const RECT rect = ToRect(r);
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

bool HasClass(HWND window, const wchar_t* className) {
    wchar_t name[32] = {};
    return ::GetClassNameW(window, name, 32) > 0 && ::_wcsicmp(name, className) == 0;
}

}  // namespace

ClientSize CZovrelMainWnd::CurrentClientSize() const {
    RECT r{};
    ::GetClientRect(Hwnd(), &r);
    return {r.right - r.left, r.bottom - r.top};
}

void CZovrelMainWnd::LayoutControls() {
    const ClientSize client = CurrentClientSize();
    LayoutControls(client.width, client.height);
}

void CZovrelMainWnd::LayoutControls(int width, int height) {
    if (!IsCreated()) {
        return;
    }
    const MainWindowLayout layout =
        zovrel::ui::LayoutControls(currentPage_, width, height, dpi_, logShown_, splitPosition_);
    const auto control = [this](int number) { return controls_[static_cast<size_t>(number)]; };

    if (currentPage_ != PAGE_CLIPBOARD) {
        ShowControl(control(25), false);
        MoveTo(control(23), layout.save);
        MoveTo(control(24), layout.cancelSettings);
        if (currentPage_ == PAGE_SERIAL_SETTINGS) {
            ::SetWindowTextW(control(18), main_texts::kSerialSettingsHeading);
            MoveTo(control(18), layout.settingsHeading);
            MoveTo(control(19), layout.portLabel);
            MoveTo(control(20), layout.settingsPortCombo);
            MoveTo(control(21), layout.debugLogCheck);
        } else {
            ::SetWindowTextW(control(18), main_texts::kSystemHeading);
            MoveTo(control(18), layout.settingsHeading);
            MoveTo(control(22), layout.autostartCheck);
            MoveTo(control(26), layout.notifyCheck);
            MoveTo(control(27), layout.showHotkeyLabel);
            MoveTo(control(28), layout.showHotkey);
            MoveTo(control(29), layout.showHotkeyTaken);
            MoveTo(control(30), layout.sendHotkeyLabel);
            MoveTo(control(31), layout.sendHotkey);
            MoveTo(control(32), layout.sendHotkeyTaken);
        }
        return;
    }

    splitPosition_ = layout.splitPosition;
    MoveTo(control(1), layout.clipboardHeading);
    MoveTo(control(2), layout.menuButton);
    MoveTo(control(8), layout.historyHeading);
    MoveTo(control(10), layout.statusLine);
    MoveTo(control(9), layout.clearHistory);
    MoveTo(control(6), layout.historyList);
    if (layout.logShown) {
        HWND splitter = control(25);
        MoveTo(splitter, layout.splitter);
        ShowControl(splitter, true);
        if (splitter != nullptr) {
            ::SetWindowPos(splitter, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
        MoveTo(control(3), layout.logHeading);
        MoveTo(control(4), layout.clearLog);
        MoveTo(control(5), layout.logPane);
    } else {
        ShowControl(control(25), false);
    }
    MoveTo(control(11), layout.portCombo);
    MoveTo(control(14), layout.connectionState);
    MoveTo(control(12), layout.connect);
    MoveTo(control(13), layout.disconnect);
    MoveTo(control(17), layout.cancelSend);
    MoveTo(control(15), layout.transferText);
    if (layout.progress.has_value()) {
        MoveTo(control(16), *layout.progress);
    }
}

void CZovrelMainWnd::PaintBands(HDC dc) const {
    if (dc == nullptr) {
        return;
    }
    const ClientSize client = CurrentClientSize();
    // High Contrast: the bands in the colours the controls on them use by default.
    const COLORREF band = highContrast_ ? ::GetSysColor(COLOR_BTNFACE) : kTopBandColour;
    const COLORREF body = highContrast_ ? ::GetSysColor(COLOR_WINDOW) : kBodyColour;
    const COLORREF bottomBand = highContrast_ ? ::GetSysColor(COLOR_BTNFACE) : kBottomBandColour;
    const LayoutRect top = TopBand(client.width, dpi_);
    FillSolid(dc, top, band);
    if (currentPage_ == PAGE_CLIPBOARD) {
        const LayoutRect bottom = BottomBand(client.width, client.height, dpi_);
        FillSolid(dc, {0, top.Bottom(), client.width, bottom.y - top.Bottom()}, body);
        FillSolid(dc, bottom, bottomBand);
    } else {
        FillSolid(dc, {0, top.Bottom(), client.width, client.height - top.Bottom()}, body);
    }
}

LRESULT CZovrelMainWnd::ControlColour(UINT message, HDC dc, HWND control) {
    if (highContrast_) {
        // The system's own colours, which the user chose to read by.
        return DefaultHandling(message, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(control));
    }
    ::SetTextColor(dc, kControlTextColour);
    // Check boxes and read-only edit controls ask with WM_CTLCOLORSTATIC too.
    const bool isButton = message == WM_CTLCOLORBTN || HasClass(control, WC_BUTTONW);
    if (isButton) {
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLOREDIT ||
        message == WM_CTLCOLORLISTBOX) {
        if (message == WM_CTLCOLORSTATIC && !HasClass(control, WC_EDITW)) {
            ::SetBkMode(dc, OPAQUE);
        }
        ::SetBkColor(dc, kBodyColour);
        return reinterpret_cast<LRESULT>(backgroundBrush_.Get());
    }
    return DefaultHandling(message, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(control));
}

void CZovrelMainWnd::OnSplitterDragStart() {
    if (preview_.IsCreated()) {
        preview_.HidePreview();
    }
}

void CZovrelMainWnd::OnSplitterDrag(int direction, int delta) {
    if (currentPage_ != PAGE_CLIPBOARD || delta == 0 || !logShown_ || direction != 1 ||
        !IsCreated()) {
        return;
    }
    const ClientSize client = CurrentClientSize();
    const int top = ScaleForDpi(SPLIT_TOP, dpi_);
    splitPosition_ = ClampSplitPosition(splitPosition_ + delta, top,
                                        client.height - ScaleForDpi(36, dpi_), logShown_, dpi_);
    const LayoutRect band = ContentBand(client.width, client.height, dpi_);
    if (band.h > ScaleForDpi(28, dpi_)) {
        const RECT r = ToRect(band);
        ::InvalidateRect(Hwnd(), &r, TRUE);
    }
    LayoutControls(client.width, client.height);
    RedrawContentBand();
}

void CZovrelMainWnd::OnSplitterDragEnd() {
    if (currentPage_ != PAGE_CLIPBOARD) {
        return;
    }
    if (preview_.IsCreated()) {
        preview_.HidePreview();
    }
    RedrawContentBand();
}

void CZovrelMainWnd::RedrawContentBand() {
    const ClientSize client = CurrentClientSize();
    if (client.width <= 0 || client.height <= 0 ||
        client.height - ScaleForDpi(24, dpi_) < ScaleForDpi(29, dpi_)) {
        return;
    }
    const RECT r = ToRect(ContentBand(client.width, client.height, dpi_));
    ::RedrawWindow(Hwnd(), &r, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace zovrel::ui
