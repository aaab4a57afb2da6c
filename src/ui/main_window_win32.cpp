// The main window: creation, controls, fonts, pages and the message table.

#include "ui/main_window_win32.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <utility>

#include "base/local_time.h"
#include "base/text.h"
#include "clipboard/history_store.h"
#include "settings/autostart.h"
#include "settings/log_file.h"
#include "settings/settings_file.h"
#include "ui/about_dialog_win32.h"
#include "ui/image_conversion_win32.h"
#include "ui/keyboard_rules.h"
#include "ui/main_window_rules.h"
#include "ui/single_instance.h"
#include "ui/ui_ids.h"
#include "ui/window_placement.h"

namespace zovrel::ui {

namespace {

// The window's rectangle at 96 DPI: left 100, top 100, 560 x 720.
constexpr int kInitialLeft = 100;
constexpr int kInitialTop = 100;
constexpr int kInitialWidth = 560;
constexpr int kInitialHeight = 720;

constexpr int kMenuButtonPictureSize = 24;

// Font sizes in tenths of a point.
constexpr int kHeadingPoints = 90;
constexpr int kLogPoints = 85;
constexpr int kUiPoints = 90;

constexpr DWORD kChild = WS_CHILD;
constexpr DWORD kVisible = WS_VISIBLE;

UniqueFont MakeFont(const wchar_t* face, int tenthsOfPoint, int weight, int dpi) {
    return UniqueFont(::CreateFontW(FontHeightForTenthsOfPoint(tenthsOfPoint, dpi), 0, 0, 0, weight,
                                    FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, face));
}

// Where each control of the table shows, by its number: on pages (bit 1 << page) or with the
// log. The preview, the progress bar and the splitter follow rules of their own.
constexpr unsigned kOnClipboard = 1u << PAGE_CLIPBOARD;
constexpr unsigned kOnSerial = 1u << PAGE_SERIAL_SETTINGS;
constexpr unsigned kOnSystem = 1u << PAGE_SYSTEM;
constexpr unsigned kWithLog = 1u << 8;
constexpr unsigned kShownOn[33] = {
    0,                      // 0 unused
    kOnClipboard,           // 1 heading 剪贴板
    kOnClipboard,           // 2 menu button
    kWithLog,               // 3 heading 串口 / 日志
    kWithLog,               // 4 清空日志
    kWithLog,               // 5 log pane
    kOnClipboard,           // 6 history list
    0,                      // 7 hover preview
    kOnClipboard,           // 8 heading 历史记录
    kOnClipboard,           // 9 全部清空
    kOnClipboard,           // 10 status line
    kOnClipboard,           // 11 port combo
    kOnClipboard,           // 12 连接
    kOnClipboard,           // 13 断开
    kOnClipboard,           // 14 connection state
    kOnClipboard,           // 15 transfer text
    0,                      // 16 progress bar
    kOnClipboard,           // 17 放弃
    kOnSerial | kOnSystem,  // 18 settings heading
    kOnSerial,              // 19 label 串口
    kOnSerial,              // 20 settings port combo
    kOnSerial,              // 21 debug-log check box
    kOnSystem,              // 22 autostart check box
    kOnSerial | kOnSystem,  // 23 保存
    kOnSerial | kOnSystem,  // 24 取消
    0,                      // 25 splitter
    kOnSystem,              // 26 notices check box
    kOnSystem,              // 27 label 显示剪贴板历史
    kOnSystem,              // 28 show hotkey
    kOnSystem,              // 29 已被占用 (show), while the hotkey is taken
    kOnSystem,              // 30 label 发送最新内容到设备
    kOnSystem,              // 31 send hotkey
    kOnSystem,              // 32 已被占用 (send), while the hotkey is taken
};

bool ControlShownOn(int number, int page, bool logShown) {
    const unsigned where = kShownOn[number];
    if ((where & kWithLog) != 0) {
        return logShown;
    }
    return (where & (1u << page)) != 0;
}

}  // namespace

CZovrelMainWnd::CZovrelMainWnd(ClipboardHistory& history)
    : history_(history),
      postTarget_(std::make_shared<WindowPostTarget>()),
      notifier_(postTarget_) {}

CZovrelMainWnd::~CZovrelMainWnd() {
    // Destroyed here, while the handlers of this class still exist.
    Destroy();
}

bool CZovrelMainWnd::Create(HWND owner) {
    const int dpi = static_cast<int>(::GetDpiForSystem());
    WNDCLASSEXW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    // The program's icon for the taskbar and Alt+Tab, in both sizes.
    windowClass.hIcon = static_cast<HICON>(
        ::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(
        ::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    CreateOwnWindow(windowClass, WS_EX_APPWINDOW, main_texts::kCaption, WS_OVERLAPPEDWINDOW,
                    ScaleForDpi(kInitialLeft, dpi), ScaleForDpi(kInitialTop, dpi),
                    ScaleForDpi(kInitialWidth, dpi), ScaleForDpi(kInitialHeight, dpi), owner,
                    nullptr);
    return IsCreated();
}

bool CZovrelMainWnd::OnCreate() {
    dpi_ = WindowDpi(Hwnd());
    splitPosition_ = ScaleForDpi(INITIAL_SPLIT_POSITION, dpi_);
    postTarget_->Open(Hwnd());
    backgroundBrush_.Reset(::CreateSolidBrush(RGB(255, 255, 255)));
    CreateFonts();
    CreateControls();
    // Files dropped anywhere on the window, the history list included, are taken.
    ::DragAcceptFiles(Hwnd(), TRUE);
    ::DragAcceptFiles(list_.Hwnd(), TRUE);
    ApplyFonts();
    ApplyContrast();
    RestorePlacement();
    RegisterHotkeys();
    SwitchPage(PAGE_CLIPBOARD);

    const std::wstring logPath = LogFilePath(LocalNow());
    AppendLogLine(main_texts::kLogStarted);
    AppendLogLine(FormatText(main_texts::kLogFileLine, logPath.c_str()));
    AppendToLogFile(main_texts::kLogFileStartedLine + logPath);
    return true;
}

void CZovrelMainWnd::ShowControl(HWND control, bool shown) {
    if (control != nullptr) {
        ::ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
    }
}

HWND CZovrelMainWnd::AddControl(int number, const wchar_t* className, const wchar_t* text,
                                DWORD style, int id) {
    HWND control = ::CreateWindowExW(0, className, text, style, 0, 0, 0, 0, Hwnd(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ModuleInstance(), nullptr);
    controls_[static_cast<size_t>(number)] = control;
    return control;
}

void CZovrelMainWnd::CreateControls() {
    namespace t = main_texts;
    constexpr DWORD kHeading = kChild | kVisible | SS_LEFT | SS_NOPREFIX;
    constexpr DWORD kButton = kChild | kVisible | WS_TABSTOP | BS_PUSHBUTTON;
    constexpr DWORD kOneLine = SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOPREFIX;
    constexpr DWORD kDropDown = kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;

    AddControl(1, WC_STATICW, t::kClipboardHeading, kHeading, -1);
    AddControl(2, WC_BUTTONW, L"", kButton | BS_BITMAP, IDC_MENU_BUTTON);
    AddControl(3, WC_STATICW, t::kLogHeading, kHeading, -1);
    AddControl(4, WC_BUTTONW, t::kClearLog, kButton, IDC_CLEAR_LOG);
    HWND logPane = AddControl(5, WC_EDITW, L"",
                              kChild | kVisible | WS_TABSTOP | WS_BORDER | WS_VSCROLL |
                                  ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
                              IDC_LOG_PANE);
    // Without it an edit control stops taking text at 32767 characters.
    ::SendMessageW(logPane, EM_SETLIMITTEXT, LOG_PANE_LIMIT, 0);

    if (list_.Create(Hwnd(), IDC_HISTORY_LIST,
                     kChild | kVisible | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY |
                         LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT)) {
        controls_[6] = list_.Hwnd();
        list_.SetHistory(&history_);
        if (preview_.CreatePreview(Hwnd())) {
            controls_[7] = preview_.Hwnd();
        }
        list_.SetPreview(&preview_);
        preview_.SetList(&list_);
    }
    LoadMenuButtonPicture();

    AddControl(8, WC_STATICW, t::kHistoryHeading, kHeading, -1);
    AddControl(9, WC_BUTTONW, t::kClearHistory, kButton, IDC_CLEAR_HISTORY);
    AddControl(10, WC_STATICW, L"", kChild | kOneLine, -1);
    AddControl(11, WC_COMBOBOXW, L"", kDropDown | kVisible, IDC_PORT_COMBO);
    AddControl(12, WC_BUTTONW, t::kConnect, kButton, IDC_CONNECT);
    AddControl(13, WC_BUTTONW, t::kDisconnect, kButton, IDC_DISCONNECT);
    AddControl(14, WC_STATICW, L"", kChild | kVisible | kOneLine, -1);
    AddControl(15, WC_STATICW, L"", kChild | kVisible | kOneLine, IDC_TRANSFER_TEXT);
    HWND progress = AddControl(16, PROGRESS_CLASSW, L"", kChild | PBS_SMOOTH, IDC_PROGRESS);
    ::SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(progress, PBM_SETPOS, 0, 0);
    ShowControl(progress, false);
    AddControl(17, WC_BUTTONW, t::kCancelSend, kButton, IDC_CANCEL_SEND);

    AddControl(18, WC_STATICW, t::kSerialSettingsHeading, kChild | SS_LEFT | SS_NOPREFIX, -1);
    AddControl(19, WC_STATICW, t::kPortLabel, kChild | SS_LEFT | SS_NOPREFIX, -1);
    AddControl(20, WC_COMBOBOXW, L"", kDropDown, IDC_SETTINGS_PORT_COMBO);
    AddControl(21, WC_BUTTONW, t::kDebugLogCheck, kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
               IDC_DEBUG_LOG_CHECK);
    AddControl(22, WC_BUTTONW, t::kAutostartCheck, kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
               IDC_AUTOSTART_CHECK);
    AddControl(23, WC_BUTTONW, t::kSave, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, IDC_SAVE);
    AddControl(24, WC_BUTTONW, t::kCancelSettings, kChild | WS_TABSTOP | BS_PUSHBUTTON,
               IDC_CANCEL_SETTINGS);
    AddControl(26, WC_BUTTONW, t::kNotifyCheck, kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
               IDC_NOTIFY_CHECK);
    // Each label comes just before its control: screen readers name the control after it.
    AddControl(27, WC_STATICW, t::kShowHotkeyLabel, kChild | kOneLine, -1);
    // The hotkey control draws its own sunken edge.
    AddControl(28, HOTKEY_CLASSW, L"", kChild | WS_TABSTOP, IDC_HOTKEY_SHOW);
    AddControl(29, WC_STATICW, t::kHotkeyTaken, kChild | kOneLine, -1);
    AddControl(30, WC_STATICW, t::kSendHotkeyLabel, kChild | kOneLine, -1);
    AddControl(31, HOTKEY_CLASSW, L"", kChild | WS_TABSTOP, IDC_HOTKEY_SEND);
    AddControl(32, WC_STATICW, t::kHotkeyTaken, kChild | kOneLine, -1);

    if (splitter_.CreateSplitter(this, 1, Hwnd(), IDC_SPLITTER)) {
        controls_[25] = splitter_.Hwnd();
    }
    ApplyTabOrder();
}

void CZovrelMainWnd::ApplyTabOrder() {
    // Tab follows the order of the children; creation order is the table's, not the screen's.
    HWND previous = HWND_TOP;
    for (int number : ControlsInTabOrder()) {
        HWND control = controls_[static_cast<size_t>(number)];
        if (control != nullptr && number != 7) {
            ::SetWindowPos(control, previous, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
            previous = control;
        }
    }
}

void CZovrelMainWnd::EnableControl(int number, bool enabled) {
    HWND control = controls_[static_cast<size_t>(number)];
    if (control == nullptr) {
        return;
    }
    if (!enabled && ::GetFocus() == control) {
        // A disabled window keeps no focus: without this the keyboard would be left nowhere.
        const int next = FocusAfterDisabling(number, [this](int candidate) {
            HWND other = controls_[static_cast<size_t>(candidate)];
            return other != nullptr && ::IsWindowEnabled(other) && ::IsWindowVisible(other);
        });
        ::SetFocus(controls_[static_cast<size_t>(next)]);
    }
    ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void CZovrelMainWnd::FocusFirstControl() {
    HWND first = controls_[static_cast<size_t>(FirstFocusControl(currentPage_))];
    if (first == nullptr) {
        return;
    }
    if (first == list_.Hwnd() && ::SendMessageW(first, LB_GETCURSEL, 0, 0) < 0 &&
        ::SendMessageW(first, LB_GETCOUNT, 0, 0) > 0) {
        // The list's keys act on the selected row: there is always one to act on.
        ::SendMessageW(first, LB_SETCURSEL, 0, 0);
    }
    focusToRestore_ = first;
    if (::GetActiveWindow() == Hwnd()) {
        ::SetFocus(first);
    }
}

void CZovrelMainWnd::OnActivate(bool active) {
    if (!active) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(Hwnd(), focus)) {
            focusToRestore_ = focus;
        }
        return;
    }
    HWND target = focusToRestore_;
    if (target == nullptr || !::IsWindow(target) || !::IsWindowVisible(target) ||
        !::IsWindowEnabled(target)) {
        target = controls_[static_cast<size_t>(FirstFocusControl(currentPage_))];
    }
    if (target != nullptr && !::IsIconic(Hwnd())) {
        ::SetFocus(target);
    }
}

void CZovrelMainWnd::LoadMenuButtonPicture() {
    HWND button = controls_[2];
    if (button == nullptr) {
        return;
    }
    menuButtonPicture_ =
        LoadPngResource(IDB_MENU_BUTTON_PNG, ScaleForDpi(kMenuButtonPictureSize, dpi_));
    // Without a picture the button stays blank.
    ::SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP,
                   reinterpret_cast<LPARAM>(menuButtonPicture_.Get()));
    // Not drawn (the button shows its picture); screen readers and UI Automation read it.
    ::SetWindowTextW(button, main_texts::kMenuButtonName);
}

void CZovrelMainWnd::CreateFonts() {
    boldFont_ = MakeFont(L"Segoe UI Bold", kHeadingPoints, FW_BOLD, dpi_);
    logFont_ = MakeFont(L"Consolas", kLogPoints, FW_NORMAL, dpi_);
    uiFont_ = MakeFont(L"Segoe UI", kUiPoints, FW_NORMAL, dpi_);
}

void CZovrelMainWnd::ApplyFonts() {
    for (int number = 1; number <= 32; ++number) {
        HWND control = controls_[static_cast<size_t>(number)];
        // The preview draws with its own font; the progress bar and the splitter have no text.
        if (control == nullptr || number == 7 || number == 16 || number == 25) {
            continue;
        }
        HFONT font = uiFont_.Get();
        if (number == 1 || number == 3 || number == 8 || number == 18) {
            font = boldFont_.Get();
        } else if (number == 5) {
            font = logFont_.Get();
        }
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

HWND CZovrelMainWnd::ControlWindow(int number) const {
    if (number < 1 || number > 32) {
        return nullptr;
    }
    return controls_[static_cast<size_t>(number)];
}

void CZovrelMainWnd::SetSerialLink(SerialLink* link, PortRequests* requests) {
    serialLink_ = link;
    portRequests_ = requests;
    if (IsCreated() && currentPage_ == PAGE_CLIPBOARD) {
        FillClipboardPortCombo();
        RefreshConnectionControls();
    }
}

void CZovrelMainWnd::SetClipboardWatcher(CZovrelClipboardWatcher* watcher) {
    watcher_ = watcher;
}

void CZovrelMainWnd::SetDesktopActions(DesktopActions actions) {
    if (actions.messageBox) {
        actions_.messageBox = std::move(actions.messageBox);
    }
    if (actions.openFolder) {
        actions_.openFolder = std::move(actions.openFolder);
    }
    if (actions.showAbout) {
        actions_.showAbout = std::move(actions.showAbout);
    }
    if (actions.enumeratePorts) {
        actions_.enumeratePorts = std::move(actions.enumeratePorts);
    }
}

int CZovrelMainWnd::CurrentPage() const {
    return currentPage_;
}

void CZovrelMainWnd::SwitchPage(int page) {
    if (page != PAGE_SERIAL_SETTINGS && page != PAGE_SYSTEM) {
        page = PAGE_CLIPBOARD;
    }
    // The page-0 port list is filled when the page comes back from another one; showing it
    // again only shows it (a drop-down or a device arriving or leaving refills it).
    const bool refillPorts = page == PAGE_CLIPBOARD && currentPage_ != PAGE_CLIPBOARD;
    currentPage_ = page;
    debugLog_ = ReadUartDebugLog();
    logShown_ = page == PAGE_CLIPBOARD && debugLog_;
    if (!IsCreated()) {
        return;
    }

    for (int number = 1; number <= 32; ++number) {
        if (number != 7 && number != 16 && number != 25) {
            bool shown = ControlShownOn(number, page, logShown_);
            if (number == 29 || number == 32) {
                shown = shown && hotkeyTaken_[number == 29 ? 0 : 1];
            }
            ShowControl(controls_[static_cast<size_t>(number)], shown);
        }
    }
    if (page != PAGE_CLIPBOARD) {
        ShowControl(controls_[16], false);
        if (preview_.IsCreated()) {
            preview_.HidePreview();
        }
    }
    ::SetWindowTextW(Hwnd(), PageTitle(page));
    LayoutControls();

    if (page == PAGE_CLIPBOARD) {
        RefreshHistoryList();
        if (refillPorts) {
            FillClipboardPortCombo();
        }
        RefreshConnectionControls();
    } else if (page == PAGE_SERIAL_SETTINGS) {
        FillSettingsPortCombo();
        ::SendMessageW(controls_[21], BM_SETCHECK, debugLog_ ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
        ::SendMessageW(controls_[22], BM_SETCHECK, ReadAutostart() ? BST_CHECKED : BST_UNCHECKED,
                       0);
        ShowSystemPageSettings();
    }
    FocusFirstControl();
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

ClientSize CZovrelMainWnd::MinimumWindowSize(int page) const {
    const ClientSize client = PageMinimumClientSize(page, dpi_);
    RECT r{0, 0, client.width, client.height};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE));
    ::AdjustWindowRectExForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi_));
    return {r.right - r.left, r.bottom - r.top};
}

void CZovrelMainWnd::ShowOnPage(int page) {
    if (!IsCreated()) {
        return;
    }
    SwitchPage(page);

    const ClientSize minimum = MinimumWindowSize(currentPage_);
    RECT r{};
    ::GetWindowRect(Hwnd(), &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width < minimum.width || height < minimum.height) {
        ::SetWindowPos(Hwnd(), nullptr, 0, 0, std::max(width, minimum.width),
                       std::max(height, minimum.height),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Every time: the monitor it was on may be gone, or the work area smaller.
    FitIntoWorkArea();

    // A minimised window is restored; showing alone would leave it on the taskbar.
    ::ShowWindow(Hwnd(), ::IsIconic(Hwnd()) ? SW_RESTORE : SW_SHOW);
    constexpr UINT kKeep = SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW;
    ::SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, kKeep);
    ::SetWindowPos(Hwnd(), HWND_NOTOPMOST, 0, 0, 0, 0, kKeep);
    ::SetForegroundWindow(Hwnd());
    ::BringWindowToTop(Hwnd());
    if (focusToRestore_ != nullptr && ::GetActiveWindow() == Hwnd()) {
        ::SetFocus(focusToRestore_);
    }
}

void CZovrelMainWnd::FitIntoWorkArea() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(Hwnd(), MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    RECT r{};
    ::GetWindowRect(Hwnd(), &r);
    const LayoutRect window{r.left, r.top, r.right - r.left, r.bottom - r.top};
    const RECT& work = monitor.rcWork;
    const LayoutRect fitted = FitWindowIntoWorkArea(
        window, {work.left, work.top, work.right - work.left, work.bottom - work.top},
        MinimumWindowSize(currentPage_));
    if (!(fitted == window)) {
        ::SetWindowPos(Hwnd(), nullptr, fitted.x, fitted.y, fitted.w, fitted.h,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

namespace {

BOOL CALLBACK CollectWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcWork;
        reinterpret_cast<std::vector<LayoutRect>*>(areas)->push_back(
            {r.left, r.top, r.right - r.left, r.bottom - r.top});
    }
    return TRUE;
}

}  // namespace

void CZovrelMainWnd::RestorePlacement() {
    std::vector<LayoutRect> workAreas;
    ::EnumDisplayMonitors(nullptr, nullptr, &CollectWorkArea, reinterpret_cast<LPARAM>(&workAreas));
    const std::optional<LayoutRect> saved =
        RestoredWindowRect(ReadWindowPlacement(), dpi_, workAreas, MinimumWindowSize(currentPage_));
    if (saved) {
        ::SetWindowPos(Hwnd(), nullptr, saved->x, saved->y, saved->w, saved->h,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CZovrelMainWnd::SavePlacement() {
    // A minimised or maximised window's rectangle is not the one to come back to.
    if (!IsCreated() || ::IsIconic(Hwnd()) || ::IsZoomed(Hwnd()) || !::IsWindowVisible(Hwnd())) {
        return;
    }
    RECT r{};
    ::GetWindowRect(Hwnd(), &r);
    const LayoutRect stored =
        WindowRectToSave({r.left, r.top, r.right - r.left, r.bottom - r.top}, dpi_);
    WriteWindowPlacement(stored.x, stored.y, stored.w, stored.h);
}

void CZovrelMainWnd::ForceHighContrast(std::optional<bool> on) {
    forcedContrast_ = on;
    ApplyContrast();
}

void CZovrelMainWnd::ApplyContrast() {
    bool on = false;
    if (forcedContrast_) {
        on = *forcedContrast_;
    } else {
        HIGHCONTRASTW contrast{};
        contrast.cbSize = sizeof(contrast);
        on = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
             (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    }
    highContrast_ = on;
    list_.SetHighContrast(on);
    preview_.SetHighContrast(on);
    if (IsCreated()) {
        ::RedrawWindow(Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    }
}

void CZovrelMainWnd::OnDpiChanged(int dpi, const RECT* suggested) {
    if (dpi <= 0) {
        return;
    }
    splitPosition_ = ::MulDiv(splitPosition_, dpi, dpi_);
    dpi_ = dpi;
    CreateFonts();
    ApplyFonts();
    LoadMenuButtonPicture();
    if (suggested != nullptr) {
        ::SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayoutControls();
    if (currentPage_ == PAGE_CLIPBOARD) {
        // Rows are measured when they are added.
        RefreshHistoryList();
    }
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CZovrelMainWnd::OnClose() {
    if (preview_.IsCreated()) {
        preview_.HidePreview();
    }
    ::ShowWindow(Hwnd(), SW_HIDE);
}

void CZovrelMainWnd::OnDestroyed() {
    // No post can reach the queue from here on; what is already there is freed.
    postTarget_->Close();
    DrainQueuedPayloads(Hwnd());
    controls_.fill(nullptr);
}

LRESULT CZovrelMainWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (DefaultHandling(message, wParam, lParam) == -1) {
                return -1;
            }
            return OnCreate() ? 0 : -1;
        case WM_SIZE: {
            const LRESULT result = DefaultHandling(message, wParam, lParam);
            const int width = LOWORD(lParam);
            const int height = HIWORD(lParam);
            if (width >= 1 && height >= 1) {
                LayoutControls(width, height);
            }
            return result;
        }
        case WM_GETMINMAXINFO: {
            if (IsCreated()) {
                const ClientSize minimum = MinimumWindowSize(currentPage_);
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize = {minimum.width, minimum.height};
            }
            return 0;
        }
        case WM_ERASEBKGND:
            PaintBands(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_PAINT: {
            PaintDC dc(Hwnd());
            PaintBands(dc.Get());
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintBands(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return ControlColour(message, reinterpret_cast<HDC>(wParam),
                                 reinterpret_cast<HWND>(lParam));
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_ACTIVATE:
            OnActivate(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
            ApplyContrast();
            break;
        case WM_SHOWWINDOW:
            // Every way of hiding (closing, Esc, the tray's "退出") passes here, still visible.
            if (wParam == FALSE) {
                SavePlacement();
                if (preview_.IsCreated()) {
                    preview_.HidePreview();
                    preview_.DropImageCache();  // a hidden window keeps no full-size image
                }
            } else if (list_.IsCreated()) {
                // An image file that came back while the window was hidden shows again.
                list_.RetryUnreadThumbnails();
            }
            break;
        case WM_DESTROY:
            SavePlacement();
            ::UnregisterHotKey(Hwnd(), static_cast<int>(HotkeyAction::Show));
            ::UnregisterHotKey(Hwnd(), static_cast<int>(HotkeyAction::Send));
            break;
        case WM_HOTKEY:
            OnHotkey(static_cast<int>(wParam));
            return 0;
        case WM_RECEIVE_FAILED:
            if (ReadNotifyOnReceive()) {
                ShowNotice(ReceiveFailedNotice());
            }
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_MEASUREITEM:
            if (wParam == IDC_HISTORY_LIST && list_.IsCreated()) {
                list_.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_DRAWITEM:
            if (wParam == IDC_HISTORY_LIST && list_.IsCreated()) {
                list_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_DPICHANGED:
            OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case DM_GETDEFID:
            // Enter in the message loop's IsDialogMessage presses "保存" on the settings pages.
            if (currentPage_ != PAGE_CLIPBOARD) {
                return MAKELRESULT(IDC_SAVE, DC_HASDEFID);
            }
            return 0;
        case WM_NCDESTROY:
            OnDestroyed();
            break;

        case WM_TIMER:
            if (wParam == PORT_CHOICE_TIMER) {
                OnPortComboEvent(PortComboEvent::DELAY_ENDED);
                return 0;
            }
            break;
        case WM_DEVICECHANGE:
            // A port arrived or left: the page-0 list follows, unless the user is choosing in it.
            if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                 wParam == DBT_DEVNODES_CHANGED) &&
                currentPage_ == PAGE_CLIPBOARD &&
                ::SendMessageW(controls_[11], CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
                FillClipboardPortCombo();
            }
            return TRUE;
        case WM_HISTORY_CHANGED:
            RefreshHistoryList();
            return 0;
        case WM_SERIAL_STATE_CHANGED:
            RefreshConnectionControls();
            return 0;
        case WM_APPEND_LOG_TEXT: {
            std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
            if (text != nullptr) {
                AppendLogLine(*text);
            }
            return 0;
        }
        case WM_RECEIVED_ENTRY:
            OnReceivedEntry(reinterpret_cast<ClipboardEntry*>(lParam));
            return 0;
        case WM_FILES_CHECKED:
            OnFilesChecked(reinterpret_cast<ClipboardEntry*>(lParam));
            return 0;
        case WM_SHOW_MAIN:
            ShowOnPage(PAGE_CLIPBOARD);
            return 0;
        case WM_SEND_RESULT:
            OnSendResult(wParam != 0, reinterpret_cast<std::wstring*>(lParam));
            return 0;
        case WM_SEND_PROGRESS:
            OnSendProgress(static_cast<int>(static_cast<INT_PTR>(wParam)),
                           reinterpret_cast<std::wstring*>(lParam));
            return 0;
        case WM_HISTORY_SEND:
            return OnHistorySend(static_cast<int>(wParam));
        case WM_HISTORY_DELETE:
            return OnHistoryDelete(static_cast<int>(wParam));
        case WM_HISTORY_ACTIVATE:
            return OnHistoryActivate(static_cast<int>(wParam));
        case WM_HISTORY_OPEN_FOLDER:
            return OnHistoryOpenFolder(static_cast<int>(wParam));
        case WM_HISTORY_PIN:
            return OnHistoryPin(static_cast<int>(wParam));
        case WM_HISTORY_FULL:
            SetStatusText(main_texts::kHistoryFullOfPins);
            return 0;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        default:
            break;
    }
    return DefaultHandling(message, wParam, lParam);
}

bool CZovrelMainWnd::PostHistoryChanged() {
    return notifier_.PostHistoryChanged();
}

bool CZovrelMainWnd::PostHistoryFull() {
    return notifier_.PostHistoryFull();
}

bool CZovrelMainWnd::PostSerialStateChanged() {
    return notifier_.PostSerialStateChanged();
}

bool CZovrelMainWnd::PostLogText(std::wstring line) {
    return notifier_.PostLogText(std::move(line));
}

bool CZovrelMainWnd::PostReceivedEntry(std::unique_ptr<ClipboardEntry> entry) {
    return notifier_.PostReceivedEntry(std::move(entry));
}

bool CZovrelMainWnd::PostSendProgress(int percent, std::wstring text) {
    return notifier_.PostSendProgress(percent, std::move(text));
}

bool CZovrelMainWnd::PostSendResult(bool success, std::wstring text) {
    return notifier_.PostSendResult(success, std::move(text));
}

bool CZovrelMainWnd::PostReceiveFailed() {
    return notifier_.PostReceiveFailed();
}

}  // namespace zovrel::ui
