#include "ui/hover_preview_win32.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "ui/contrast_win32.h"
#include "ui/history_list_rules.h"
#include "ui/history_list_win32.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

namespace hp = hover_preview;

namespace {

constexpr wchar_t CLASS_NAME[] = L"ZovrelHoverPreview";
constexpr DWORD STYLE = WS_POPUP | WS_BORDER;
constexpr DWORD EX_STYLE = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
constexpr UINT TEXT_FORMAT = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;

LayoutRect FromRect(const RECT& r) {
    return LayoutRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

RECT WorkAreaNear(const RECT& anchor) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    HMONITOR monitor = ::MonitorFromRect(&anchor, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info)) {
        return info.rcWork;
    }
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    const COLORREF previous = ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    ::SetBkColor(dc, previous);
}

// Whether a font can show the previews' Chinese texts: a font drawn from bitmaps cannot (it has
// no Chinese glyphs, no fallback and no larger sizes), nor one without a glyph for "中".
bool ShowsChinese(HFONT font) {
    WindowDC screen(nullptr);
    if (!screen.IsValid()) {
        return false;
    }
    SelectedObject selected(screen.Get(), font);
    TEXTMETRICW metrics{};
    if (!::GetTextMetricsW(screen.Get(), &metrics) ||
        (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) == 0) {
        return false;
    }
    WORD glyph = 0xFFFF;
    return ::GetGlyphIndicesW(screen.Get(), L"中", 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
           glyph != 0xFFFF;
}

hp::ScrollAction ActionOf(WORD request) {
    switch (request) {
        case SB_LINEUP:
            return hp::ScrollAction::LineBack;
        case SB_LINEDOWN:
            return hp::ScrollAction::LineForward;
        case SB_PAGEUP:
            return hp::ScrollAction::PageBack;
        case SB_PAGEDOWN:
            return hp::ScrollAction::PageForward;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            return hp::ScrollAction::Thumb;
        case SB_TOP:
            return hp::ScrollAction::Start;
        case SB_BOTTOM:
            return hp::ScrollAction::End;
        default:
            return hp::ScrollAction::Other;
    }
}

}  // namespace

CZovrelHoverPreviewWnd::~CZovrelHoverPreviewWnd() {
    Destroy();
}

bool CZovrelHoverPreviewWnd::CreatePreview(HWND owner) {
    if (owner == nullptr || !::IsWindow(owner)) {
        return false;
    }
    owner_ = owner;
    WNDCLASSEXW windowClass{};
    windowClass.style = CS_DROPSHADOW;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = CLASS_NAME;
    // Created hidden and without owner: a tool window that floats beside any row.
    if (!CreateOwnWindow(windowClass, EX_STYLE, L"", STYLE, 0, 0, 1, 1, nullptr, nullptr)) {
        return false;
    }
    postTarget_ = std::make_shared<WindowPostTarget>(Hwnd());
    return PreviewFont(WindowDpi(Hwnd())) != nullptr;
}

void CZovrelHoverPreviewWnd::SetList(CZovrelHistoryListBox* list) {
    list_ = list;
}

bool CZovrelHoverPreviewWnd::IsShown() const {
    return IsCreated() && ::IsWindowVisible(Hwnd());
}

bool CZovrelHoverPreviewWnd::ContainsScreenPoint(POINT point) const {
    RECT r{};
    return IsShown() && ::GetWindowRect(Hwnd(), &r) && ::PtInRect(&r, point);
}

void CZovrelHoverPreviewWnd::ShowFor(const ClipboardEntry& entry, const RECT& anchor, int row) {
    if (!IsCreated()) {
        return;
    }
    ::KillTimer(Hwnd(), hp::HIDE_TIMER);
    if (!history_list::HasPreviewContent(entry)) {
        HideSoon();
        return;
    }
    if (entry.id != 0 && awaitedId_ == entry.id) {
        // Its image is on its way: it opens beside the row the pointer is on by then.
        anchor_ = anchor;
        awaitedRow_ = row;
        return;
    }
    awaitedId_ = 0;  // another entry now: the one awaited would open beside the wrong row
    if (IsShown() && shownId_ == entry.id) {
        RECT window{};
        ::GetWindowRect(Hwnd(), &window);
        shownRow_ = row;
        Place(hp::Size{window.right - window.left, window.bottom - window.top}, anchor);
        return;
    }
    // Every move over the row restarts the delay; the entry is copied once per entry.
    if (!showPending_ || pending_.id != entry.id || entry.id == 0) {
        pending_ = entry;
    }
    anchor_ = anchor;
    pendingRow_ = row;
    showPending_ = true;
    ::SetTimer(Hwnd(), hp::SHOW_TIMER, hp::SHOW_DELAY_MS, nullptr);
}

void CZovrelHoverPreviewWnd::HideSoon() {
    showPending_ = false;
    awaitedId_ = 0;
    if (!IsCreated()) {
        return;
    }
    ::KillTimer(Hwnd(), hp::SHOW_TIMER);
    if (IsShown()) {
        ::SetTimer(Hwnd(), hp::HIDE_TIMER, hp::HIDE_DELAY_MS, nullptr);
    }
}

void CZovrelHoverPreviewWnd::HidePreview() {
    showPending_ = false;
    pending_ = ClipboardEntry{};
    shownRow_ = -1;
    mode_ = 0;
    shownId_ = 0;
    text_.clear();
    awaitedId_ = 0;
    imageWidth_ = 0;
    imageHeight_ = 0;
    horizontalPosition_ = 0;
    verticalPosition_ = 0;
    if (!IsCreated()) {
        horizontalBar_ = verticalBar_ = false;
        return;
    }
    ::KillTimer(Hwnd(), hp::SHOW_TIMER);
    ::KillTimer(Hwnd(), hp::HIDE_TIMER);
    ShowBars(false, false);
    ::SetWindowPos(Hwnd(), HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

void CZovrelHoverPreviewWnd::Present(const ClipboardEntry& entry, const RECT& anchor, int row) {
    awaitedId_ = 0;
    shownId_ = entry.id;
    shownRow_ = row;
    horizontalPosition_ = 0;
    verticalPosition_ = 0;
    ShowBars(false, false);
    const int dpi = WindowDpi(Hwnd());

    if (entry.kind != ENTRY_KIND_IMAGE) {
        mode_ = 1;
        text_ = RemoveBidiControls(hp::PreviewText(entry));
        imageWidth_ = imageHeight_ = 0;
        if (text_.empty()) {
            HidePreview();
            return;
        }
        RECT measured{0, 0, hp::TextWrapWidth(dpi), 0};
        {
            WindowDC screen(nullptr);
            SelectedObject font(screen.Get(), PreviewFont(dpi));
            ::DrawTextW(screen.Get(), text_.c_str(), static_cast<int>(text_.size()), &measured,
                        TEXT_FORMAT | DT_CALCRECT);
        }
        const int area = hp::TextAreaHeight(measured.bottom - measured.top, dpi);
        Place(WindowSizeForClient(hp::TextClientSize(area, dpi)), anchor);
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        return;
    }

    if (entry.id != 0 && entry.id == imageId_ && image_.IsValid()) {
        PresentImage(entry.id, anchor, row);
        return;
    }
    // Decoded off the window's thread; shown once it is ready, at its final size.
    HidePreview();
    if (list_ == nullptr) {
        return;
    }
    awaitedId_ = entry.id != 0 ? entry.id : -1;
    awaitedRow_ = row;
    anchor_ = anchor;
    list_->Decoder().RequestPreview(
        DecodeRequest{postTarget_, awaitedId_, row, entry.image, entry.imageFileName});
}

void CZovrelHoverPreviewWnd::PresentImage(int64_t id, const RECT& anchor, int row) {
    BITMAP info{};
    if (::GetObjectW(image_.Get(), sizeof(info), &info) == 0 || info.bmWidth <= 0 ||
        info.bmHeight <= 0) {
        HidePreview();
        return;
    }
    shownId_ = id;
    shownRow_ = row;
    mode_ = 2;
    text_.clear();
    horizontalPosition_ = 0;
    verticalPosition_ = 0;
    ShowBars(false, false);
    imageWidth_ = info.bmWidth;
    imageHeight_ = info.bmHeight;
    const int dpi = WindowDpi(Hwnd());
    Place(WindowSizeForClient(hp::ImageClientSize(imageWidth_, imageHeight_, dpi)), anchor);
    UpdateScrollBars();
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CZovrelHoverPreviewWnd::OnDecoded(std::unique_ptr<DecodedImage> decoded) {
    // Only the image still awaited is kept: another may be on show from the cache.
    if (decoded->id != awaitedId_) {
        return;
    }
    awaitedId_ = 0;
    if (!decoded->bitmap.IsValid()) {
        return;  // an image that cannot be read or decoded has no preview
    }
    image_ = std::move(decoded->bitmap);
    imageId_ = decoded->id;
    PresentImage(decoded->id, anchor_, awaitedRow_);
}

void CZovrelHoverPreviewWnd::DropImageCache() {
    if (mode_ != 2) {
        image_.Reset();
        imageId_ = 0;
    }
}

hp::Size CZovrelHoverPreviewWnd::WindowSizeForClient(hp::Size client) const {
    // The sizes of the rules are the client's; the thin border lies outside them.
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, STYLE, FALSE, EX_STYLE);
    return hp::Size{client.w + (frame.right - frame.left), client.h + (frame.bottom - frame.top)};
}

void CZovrelHoverPreviewWnd::Place(hp::Size window, const RECT& anchor) {
    const LayoutRect placed = hp::PlacePreview(window, FromRect(anchor),
                                               FromRect(WorkAreaNear(anchor)), WindowDpi(Hwnd()));
    ::SetWindowPos(Hwnd(), HWND_TOPMOST, placed.x, placed.y, placed.w, placed.h,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CZovrelHoverPreviewWnd::ShowBars(bool horizontal, bool vertical) {
    horizontalBar_ = horizontal;
    verticalBar_ = vertical;
    if (IsCreated()) {
        ::ShowScrollBar(Hwnd(), SB_HORZ, horizontal);
        ::ShowScrollBar(Hwnd(), SB_VERT, vertical);
    }
}

RECT CZovrelHoverPreviewWnd::ImageView() const {
    RECT client{};
    if (IsCreated()) {
        ::GetClientRect(Hwnd(), &client);
    }
    // The client area already leaves out the bars that are shown.
    return ToRect(hp::ImageViewRect(FromRect(client), false, false, 0, 0, WindowDpi(Hwnd())));
}

void CZovrelHoverPreviewWnd::UpdateScrollBars() {
    if (mode_ != 2) {
        ShowBars(false, false);
        return;
    }
    // Decide on the client area the window has without any bar.
    RECT window{};
    ::GetWindowRect(Hwnd(), &window);
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, STYLE, FALSE, EX_STYLE);
    const LayoutRect bare{0, 0, (window.right - window.left) - (frame.right - frame.left),
                          (window.bottom - window.top) - (frame.bottom - frame.top)};
    const int dpi = WindowDpi(Hwnd());
    const hp::ScrollBars bars = hp::DecideScrollBars(
        imageWidth_, imageHeight_, bare, ::GetSystemMetricsForDpi(SM_CXVSCROLL, dpi),
        ::GetSystemMetricsForDpi(SM_CYHSCROLL, dpi), dpi);
    ShowBars(bars.horizontal, bars.vertical);

    const LayoutRect view = FromRect(ImageView());
    horizontalPosition_ = hp::ClampScroll(horizontalPosition_, imageWidth_, view.w);
    verticalPosition_ = hp::ClampScroll(verticalPosition_, imageHeight_, view.h);
    auto setBar = [this](int bar, int size, int page, int position) {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMin = 0;
        info.nMax = size - 1;
        info.nPage = static_cast<UINT>(page);
        info.nPos = position;
        ::SetScrollInfo(Hwnd(), bar, &info, TRUE);
    };
    if (horizontalBar_) {
        setBar(SB_HORZ, imageWidth_, view.w, horizontalPosition_);
    }
    if (verticalBar_) {
        setBar(SB_VERT, imageHeight_, view.h, verticalPosition_);
    }
}

void CZovrelHoverPreviewWnd::ScrollTo(bool vertical, int position) {
    int& stored = vertical ? verticalPosition_ : horizontalPosition_;
    stored = position;
    ::SetScrollPos(Hwnd(), vertical ? SB_VERT : SB_HORZ, position, TRUE);
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CZovrelHoverPreviewWnd::OnScrollBar(bool vertical, WPARAM wParam) {
    if (mode_ != 2) {
        return;
    }
    const int bar = vertical ? SB_VERT : SB_HORZ;
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ::GetScrollInfo(Hwnd(), bar, &info);
    const LayoutRect view = FromRect(ImageView());
    const int size = vertical ? imageHeight_ : imageWidth_;
    const int page = vertical ? view.h : view.w;
    const int position = vertical ? verticalPosition_ : horizontalPosition_;
    // The track position holds all 32 bits; the message's own field only 16.
    const int next = hp::ScrollAfter(ActionOf(LOWORD(wParam)), vertical, position, size, page,
                                     info.nTrackPos, WindowDpi(Hwnd()));
    ScrollTo(vertical, next);
}

void CZovrelHoverPreviewWnd::OnWheel(WPARAM wParam) {
    const bool horizontal = (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0;
    const LayoutRect view = FromRect(ImageView());
    const int next = horizontal
                         ? hp::ScrollAfterWheel(horizontalPosition_, GET_WHEEL_DELTA_WPARAM(wParam),
                                                imageWidth_, view.w, WindowDpi(Hwnd()))
                         : hp::ScrollAfterWheel(verticalPosition_, GET_WHEEL_DELTA_WPARAM(wParam),
                                                imageHeight_, view.h, WindowDpi(Hwnd()));
    ScrollTo(!horizontal, next);
}

void CZovrelHoverPreviewWnd::OnButtonDown() {
    const int row = shownRow_;
    HidePreview();
    if (list_ != nullptr && row >= 0) {
        // Dealt with: no preview for this row until the pointer moves to another one.
        list_->ResetPreviewState(row);
    }
}

HFONT CZovrelHoverPreviewWnd::PreviewFont(int dpi) {
    if (font_.IsValid() && fontDpi_ == dpi) {
        return font_.Get();
    }
    fontDpi_ = dpi;
    font_.Reset();
    LOGFONTW stock{};
    HGDIOBJ fixed = ::GetStockObject(ANSI_FIXED_FONT);
    if (fixed != nullptr && ::GetObjectW(fixed, sizeof(stock), &stock) == sizeof(stock)) {
        // Stock fonts are made for 96 DPI.
        stock.lfHeight = ScaleForDpi(stock.lfHeight, dpi);
        stock.lfWidth = ScaleForDpi(stock.lfWidth, dpi);
        font_.Reset(::CreateFontIndirectW(&stock));
        if (font_.IsValid() && !ShowsChinese(font_.Get())) {
            font_.Reset();
        }
    }
    if (!font_.IsValid()) {
        LOGFONTW consolas{};
        consolas.lfHeight = -ScaleForDpi(14, dpi);
        consolas.lfWeight = FW_NORMAL;
        consolas.lfCharSet = DEFAULT_CHARSET;
        consolas.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        wcscpy_s(consolas.lfFaceName, L"Consolas");
        font_.Reset(::CreateFontIndirectW(&consolas));
    }
    return font_.Get();
}

void CZovrelHoverPreviewWnd::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int dpi = WindowDpi(Hwnd());
    const int saved = ::SaveDC(dc);

    if (mode_ == 2 && image_.IsValid()) {
        // The image first, then everything around it, so scrolling does not flicker white.
        const RECT view = ImageView();
        const int width = std::min<int>(view.right - view.left, imageWidth_ - horizontalPosition_);
        const int height = std::min<int>(view.bottom - view.top, imageHeight_ - verticalPosition_);
        UniqueMemoryDC memory(::CreateCompatibleDC(dc));
        if (memory.IsValid() && width > 0 && height > 0) {
            SelectedObject selected(memory.Get(), image_.Get());
            ::BitBlt(dc, view.left, view.top, width, height, memory.Get(), horizontalPosition_,
                     verticalPosition_, SRCCOPY);
            ::ExcludeClipRect(dc, view.left, view.top, view.left + width, view.top + height);
        }
    }
    const SystemColours system = CurrentSystemColours();
    const PreviewPalette palette = PreviewPaletteFor(highContrast_ ? &system : nullptr);
    FillSolid(dc, client, palette.background);
    ::SetDCBrushColor(dc, palette.frame);
    ::FrameRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));

    ::SelectObject(dc, PreviewFont(dpi));
    ::SetBkMode(dc, TRANSPARENT);
    if (mode_ == 1) {
        const int margin = ScaleForDpi(10, dpi);
        RECT area{client.left + margin, client.top + margin, client.right - margin,
                  client.bottom - margin};
        ::SetTextColor(dc, palette.text);
        ::DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &area, TEXT_FORMAT);
    } else if (mode_ == 2) {
        RECT line = ToRect(hp::SizeLineRect(FromRect(client), dpi));
        const std::wstring size = hp::ImageSizeText(imageWidth_, imageHeight_);
        ::SetTextColor(dc, palette.detail);
        ::DrawTextW(dc, size.c_str(), static_cast<int>(size.size()), &line,
                    DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    }
    ::RestoreDC(dc, saved);
}

bool CZovrelHoverPreviewWnd::PointerOnPreview() const {
    POINT cursor{};
    return dragging_ || (::GetCursorPos(&cursor) && ContainsScreenPoint(cursor));
}

void CZovrelHoverPreviewWnd::OnPointerMove(bool nonClient) {
    // The scroll bars lie outside the client area: leaving the client for them is no leaving.
    if (!tracking_ || trackingNonClient_ != nonClient) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | (nonClient ? TME_NONCLIENT : 0u), Hwnd(),
                              0};
        tracking_ = ::TrackMouseEvent(&track) != FALSE;
        trackingNonClient_ = nonClient;
    }
    ::KillTimer(Hwnd(), hp::HIDE_TIMER);
}

void CZovrelHoverPreviewWnd::OnPointerLeave() {
    tracking_ = false;
    // A preview that has just hidden itself reports the pointer leaving too; that must not
    // cancel what the list has asked for meanwhile (a pending show, an image being decoded).
    if (IsShown() && !PointerOnPreview()) {
        HideSoon();
    }
}

void CZovrelHoverPreviewWnd::SetHighContrast(bool on) {
    highContrast_ = on;
    if (IsShown()) {
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
    }
}

LRESULT CZovrelHoverPreviewWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == hp::SHOW_TIMER) {
                ::KillTimer(Hwnd(), hp::SHOW_TIMER);
                if (showPending_) {
                    showPending_ = false;
                    const ClipboardEntry entry = std::move(pending_);
                    pending_ = ClipboardEntry{};
                    Present(entry, anchor_, pendingRow_);
                }
                return 0;
            }
            if (wParam == hp::HIDE_TIMER) {
                ::KillTimer(Hwnd(), hp::HIDE_TIMER);
                if (!PointerOnPreview()) {
                    HidePreview();
                }
                return 0;
            }
            break;
        case WM_PAINT: {
            PaintDC paint(Hwnd());
            Paint(paint.Get());
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole client area
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;  // never takes the focus, not even on a click
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
            OnPointerMove(message == WM_NCMOUSEMOVE);
            if (message == WM_MOUSEMOVE) {
                return 0;
            }
            break;
        case WM_MOUSELEAVE:
        case WM_NCMOUSELEAVE:
            OnPointerLeave();
            return 0;
        case WM_NCLBUTTONDOWN: {
            // A scroll bar drag runs its own loop inside the default handling; the preview
            // stays while it lasts, wherever the pointer goes meanwhile.
            dragging_ = true;
            const LRESULT result = DefaultHandling(message, wParam, lParam);
            dragging_ = false;
            return result;
        }
        case WM_LBUTTONDOWN:
            OnButtonDown();
            return 0;
        case WM_VSCROLL:
        case WM_HSCROLL:
            OnScrollBar(message == WM_VSCROLL, wParam);
            return 0;
        case WM_MOUSEWHEEL:
            if (mode_ == 2) {
                OnWheel(wParam);
                return 0;
            }
            break;
        case WM_IMAGE_DECODED:
            OnDecoded(TakeDecodedImage(lParam));
            return 0;
        case WM_NCDESTROY:
            StopDecodedResults(postTarget_.get(), Hwnd());
            break;
        default:
            break;
    }
    return DefaultHandling(message, wParam, lParam);
}

}  // namespace zovrel::ui
