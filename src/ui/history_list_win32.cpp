#include "ui/history_list_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "base/text.h"
#include "clipboard/history_store.h"
#include "ui/contrast_win32.h"
#include "ui/hover_preview_rules.h"
#include "ui/hover_preview_win32.h"
#include "ui/image_conversion_win32.h"
#include "ui/keyboard_rules.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

using history_list::Colour;
using history_list::RowPart;

namespace {

constexpr UINT ONE_LINE = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
// Of an entry's text and file list, rows and the preview need no more than this: painting and
// mouse moves over a 100 MB text cost what they cost over a line.
constexpr size_t ROW_ENTRY_CHARS =
    std::max(history_list::ONE_LINE_LIMIT, hover_preview::PREVIEW_TEXT_LIMIT) + 1;

LayoutRect FromRect(const RECT& r) {
    return LayoutRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// A solid fill without a brush of our own, as a fill through the background colour.
void FillSolid(HDC dc, const LayoutRect& r, Colour colour) {
    if (r.w <= 0 || r.h <= 0) {
        return;
    }
    const RECT rect = ToRect(r);
    const COLORREF previous = ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(dc, previous);
}

void DrawTextIn(HDC dc, const std::wstring& text, const LayoutRect& r, Colour colour, UINT format) {
    if (r.w <= 0 || r.h <= 0 || text.empty()) {
        return;
    }
    RECT rect = ToRect(r);
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, ONE_LINE | format);
}

void DrawButton(HDC dc, const LayoutRect& r, const wchar_t* label, bool hovered,
                const RowPalette& palette) {
    if (r.w <= 0 || r.h <= 0) {
        return;
    }
    FillSolid(dc, r, hovered ? palette.buttonHover : palette.button);
    RECT rect = ToRect(r);
    ::DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
    DrawTextIn(dc, label, r, hovered ? palette.buttonHoverText : palette.buttonText, DT_CENTER);
}

std::optional<uint32_t> KindOf(const std::optional<ClipboardEntry>& entry) {
    return entry ? std::optional<uint32_t>(entry->kind) : std::nullopt;
}

}  // namespace

CZovrelHistoryListBox::~CZovrelHistoryListBox() {
    // Messages that arrive while the list goes away still find every member alive.
    Destroy();
}

bool CZovrelHistoryListBox::Create(HWND parent, int id, DWORD style) {
    if (!CreateSubclassedControl(L"LISTBOX", 0, L"", style, parent, id)) {
        return false;
    }
    postTarget_ = std::make_shared<WindowPostTarget>(Hwnd());
    return true;
}

void CZovrelHistoryListBox::SetHistory(ClipboardHistory* history) {
    history_ = history;
}

void CZovrelHistoryListBox::SetPreview(CZovrelHoverPreviewWnd* preview) {
    preview_ = preview;
}

void CZovrelHistoryListBox::ClearThumbnailCache() {
    thumbnails_.Clear();
    unreadThumbnails_.clear();
    // A result still on its way is taken as it comes; it is as good as a new one.
}

void CZovrelHistoryListBox::RetryUnreadThumbnails() {
    for (int64_t id : unreadThumbnails_) {
        thumbnails_.Erase(id);
    }
    unreadThumbnails_.clear();
}

void CZovrelHistoryListBox::ResetPreviewState(int row) {
    previewRow_ = -1;
    if (row >= 0) {
        suppressedRow_ = row;
    }
}

void CZovrelHistoryListBox::MeasureItem(MEASUREITEMSTRUCT& item) {
    std::optional<ClipboardEntry> entry;
    if (history_ != nullptr) {
        entry = history_->GetEntryHeadAt(static_cast<int>(item.itemID), ROW_ENTRY_CHARS);
    }
    item.itemHeight = static_cast<UINT>(history_list::RowHeight(KindOf(entry), WindowDpi(Hwnd())));
}

void CZovrelHistoryListBox::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1) || history_ == nullptr) {
        return;
    }
    const int row = static_cast<int>(item.itemID);
    const std::optional<ClipboardEntry> entry = history_->GetEntryHeadAt(row, ROW_ENTRY_CHARS);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    DrawRow(item.hDC, item.rcItem, row, selected, entry, WindowDpi(Hwnd()));
    if ((item.itemState & ODS_FOCUS) != 0) {
        DrawFocusMark(item.hDC, item.rcItem, WindowDpi(Hwnd()),
                      Palette(KindOf(entry), selected, (row % 2) != 0).focus);
    }
}

void CZovrelHistoryListBox::DrawRow(HDC dc, const RECT& rect, int row, bool selected,
                                    const std::optional<ClipboardEntry>& entry, int dpi) {
    const LayoutRect r = FromRect(rect);
    const bool isFiles = entry && entry->kind == ENTRY_KIND_FILES;
    const bool pinned = entry && entry->pinned;
    const history_list::RowGeometry g = history_list::LayoutRow(r, isFiles, dpi, pinned);
    const RowPalette colours = Palette(KindOf(entry), selected, (row % 2) != 0);

    FillSolid(dc, r, colours.background);
    FillSolid(dc, g.accentBar, colours.accent);

    SelectedObject font(dc, RowFont(dpi));
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = ::GetTextColor(dc);

    DrawTextIn(dc, history_list::NumberText(row), g.number, colours.number, DT_CENTER);
    if (entry) {
        DrawTextIn(dc, history_list::KindLabel(entry->kind), g.kind, colours.accent, DT_CENTER);
        DrawTextIn(dc, history_list::SizeText(entry->dataSize), g.size, colours.detail, DT_CENTER);
        DrawTextIn(dc, history_list::TimeText(entry->time), g.time, colours.detail,
                   DT_LEFT | DT_END_ELLIPSIS);
        for (const LayoutRect& part : history_list::PinMarkRects(g.pin, dpi)) {
            FillSolid(dc, part, colours.accent);
        }
        auto hovered = [&](RowPart part) { return hoverRow_ == row && hoverPart_ == part; };
        if (isFiles) {
            DrawButton(dc, g.openFolder, history_list::OPEN_FOLDER_LABEL,
                       hovered(RowPart::OpenFolder), colours);
        }
        DrawButton(dc, g.send, history_list::SEND_LABEL, hovered(RowPart::Send), colours);
        DrawButton(dc, g.remove, history_list::DELETE_LABEL, hovered(RowPart::Delete), colours);

        if (entry->kind == ENTRY_KIND_IMAGE) {
            DrawThumbnail(dc, *entry, row, g.content, dpi);
        } else {
            // Bidi controls from elsewhere must not reorder what the row shows.
            DrawTextIn(dc, RemoveBidiControls(history_list::OneLineText(*entry)), g.content,
                       colours.text, DT_LEFT | DT_END_ELLIPSIS);
        }
    } else {
        // No entry behind the row (the history changed under it): its own string.
        const LRESULT length = ::SendMessageW(Hwnd(), LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
        if (length > 0) {
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            const LRESULT copied = ::SendMessageW(Hwnd(), LB_GETTEXT, static_cast<WPARAM>(row),
                                                  reinterpret_cast<LPARAM>(text.data()));
            text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
            DrawTextIn(dc, text, g.content, colours.text, DT_LEFT | DT_END_ELLIPSIS);
        }
    }
    FillSolid(dc, LayoutRect{r.x, r.Bottom() - 1, r.w, 1}, colours.separator);

    ::SetTextColor(dc, previousColour);
    ::SetBkMode(dc, previousMode);
}

void CZovrelHistoryListBox::DrawThumbnail(HDC dc, const ClipboardEntry& entry, int row,
                                          const LayoutRect& content, int dpi) {
    // Made as wide as any row can be and clipped to the row when drawn, so a change of the
    // list's width never makes it again.
    const int boxHeight = history_list::ThumbnailBox(content, dpi).second;
    const int boxWidth = std::max(::GetSystemMetrics(SM_CXVIRTUALSCREEN), content.w);
    HBITMAP thumbnail = Thumbnail(entry, row, boxWidth, boxHeight);
    BITMAP info{};
    if (thumbnail == nullptr || ::GetObjectW(thumbnail, sizeof(info), &info) == 0 ||
        info.bmWidth <= 0 || info.bmHeight <= 0) {
        return;  // an image that cannot be shown leaves the content area empty
    }
    const LayoutRect placed =
        history_list::ThumbnailPlacement(content, info.bmWidth, info.bmHeight, dpi);
    const LayoutRect visible = history_list::Intersect(placed, content);
    if (visible.w <= 0 || visible.h <= 0) {
        return;
    }
    UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    if (!memory.IsValid()) {
        return;
    }
    SelectedObject selected(memory.Get(), thumbnail);
    ::BitBlt(dc, visible.x, visible.y, visible.w, visible.h, memory.Get(), visible.x - placed.x,
             visible.y - placed.y, SRCCOPY);
}

HBITMAP CZovrelHistoryListBox::Thumbnail(const ClipboardEntry& entry, int row, int width,
                                         int height) {
    if (entry.kind != ENTRY_KIND_IMAGE || entry.image.Empty() || width < 1 || height < 1) {
        return nullptr;
    }
    if (const UniqueBitmap* cached = thumbnails_.Find(entry.id, width, height)) {
        return cached->Get();
    }
    // The row stays empty until the decoding thread's result comes back and repaints it.
    if (!decoding_.insert(entry.id).second) {
        return nullptr;
    }
    ++thumbnailsMade_;
    // Decoding starts after the drawing, so the two do not compete for the processor.
    if (toRequest_.empty() && !::PostMessageW(Hwnd(), WM_REQUEST_THUMBNAILS, 0, 0)) {
        decoding_.erase(entry.id);  // asked for again when next drawn
        return nullptr;
    }
    toRequest_.push_back(
        DecodeRequest{postTarget_, entry.id, row, entry.image, entry.imageFileName, width, height});
    return nullptr;
}

void CZovrelHistoryListBox::RequestThumbnails() {
    // The newest request is served first: the top row's thumbnail comes first.
    for (auto it = toRequest_.rbegin(); it != toRequest_.rend(); ++it) {
        for (const DecodeRequest& request : decoder_.RequestThumbnail(std::move(*it))) {
            decoding_.erase(request.id);
            dropped_ = true;
        }
    }
    toRequest_.clear();
}

void CZovrelHistoryListBox::OnDecoded(std::unique_ptr<DecodedImage> decoded) {
    decoding_.erase(decoded->id);
    if (decoded->readFailed) {
        // Kept as a failure until the next refresh or show: the file may come back.
        unreadThumbnails_.insert(decoded->id);
    }
    thumbnails_.Store(decoded->id, decoded->width, decoded->height, std::move(decoded->bitmap));
    const std::optional<ClipboardEntry> entry =
        history_ != nullptr ? history_->GetEntryHeadAt(decoded->row, 0) : std::nullopt;
    if (dropped_ || !entry || entry->id != decoded->id) {
        // Rows that lost their request, or a row that has moved: whatever is shown asks again.
        dropped_ = false;
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        return;
    }
    InvalidateRow(decoded->row);
}

HFONT CZovrelHistoryListBox::RowFont(int dpi) {
    if (auto given = reinterpret_cast<HFONT>(::SendMessageW(Hwnd(), WM_GETFONT, 0, 0))) {
        return given;
    }
    if (!ownFont_.IsValid() || ownFontDpi_ != dpi) {
        LOGFONTW font{};
        font.lfHeight = -::MulDiv(9, dpi, 72);
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        wcscpy_s(font.lfFaceName, L"Segoe UI");
        ownFont_.Reset(::CreateFontIndirectW(&font));
        ownFontDpi_ = dpi;
    }
    return ownFont_.Get();
}

RECT CZovrelHistoryListBox::RowRect(int row) const {
    RECT r{};
    if (::SendMessageW(Hwnd(), LB_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&r)) == LB_ERR) {
        return RECT{};
    }
    return r;
}

CZovrelHistoryListBox::Hit CZovrelHistoryListBox::HitTestWithEntry(POINT point) const {
    Hit hit;
    if (!IsCreated()) {
        return hit;
    }
    const int count = static_cast<int>(::SendMessageW(Hwnd(), LB_GETCOUNT, 0, 0));
    const int row = history_list::FirstRowContaining(
        count, [this](int i) { return FromRect(RowRect(i)); }, point.x, point.y);
    if (row < 0) {
        return hit;
    }
    hit.rowRect = RowRect(row);
    if (history_ != nullptr) {
        hit.entry = history_->GetEntryHeadAt(row, ROW_ENTRY_CHARS);
    }
    const bool isFiles = hit.entry && hit.entry->kind == ENTRY_KIND_FILES;
    const history_list::RowGeometry g = history_list::LayoutRow(
        FromRect(hit.rowRect), isFiles, WindowDpi(Hwnd()), hit.entry && hit.entry->pinned);
    hit.at = history_list::RowHit{row, history_list::HitTestButtons(g, point.x, point.y)};
    return hit;
}

history_list::RowHit CZovrelHistoryListBox::HitTest(POINT point) const {
    return HitTestWithEntry(point).at;
}

void CZovrelHistoryListBox::InvalidateRow(int row) {
    if (row < 0 || !IsCreated()) {
        return;
    }
    const RECT r = RowRect(row);
    if (r.right > r.left && r.bottom > r.top) {
        ::InvalidateRect(Hwnd(), &r, FALSE);
    }
}

void CZovrelHistoryListBox::SetHover(int row, RowPart part) {
    if (row == hoverRow_ && part == hoverPart_) {
        return;
    }
    const int old = hoverRow_;
    hoverRow_ = row;
    hoverPart_ = part;
    InvalidateRow(old);
    if (row != old) {
        InvalidateRow(row);
    }
}

void CZovrelHistoryListBox::HidePreviewSoon() {
    previewRow_ = -1;
    if (preview_ != nullptr) {
        // With a delay, so the pointer can cross the gap between the row and the preview.
        preview_->HideSoon();
    }
}

void CZovrelHistoryListBox::OnMouseMove(POINT point) {
    if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Hwnd(), 0};
        tracking_ = ::TrackMouseEvent(&track) != FALSE;
    }
    Hit hit = HitTestWithEntry(point);
    if (suppressedRow_ >= 0 && suppressedRow_ != hit.at.row) {
        suppressedRow_ = -1;
    }
    int target = -1;
    if (hit.at.row >= 0 && hit.at.part != RowPart::None) {
        SetHover(hit.at.row, hit.at.part);
    } else {
        SetHover(-1, RowPart::None);
        target = hit.at.row;
    }

    if (target < 0) {
        HidePreviewSoon();
        return;
    }
    if (target == suppressedRow_) {
        return;
    }
    if (!hit.entry || !history_list::HasPreviewContent(*hit.entry)) {
        HidePreviewSoon();
        return;
    }
    previewRow_ = target;
    if (preview_ != nullptr) {
        RECT anchor = hit.rowRect;
        ::MapWindowPoints(Hwnd(), nullptr, reinterpret_cast<POINT*>(&anchor), 2);
        preview_->ShowFor(*hit.entry, anchor, target);
    }
}

void CZovrelHistoryListBox::OnMouseLeave() {
    tracking_ = false;
    suppressedRow_ = -1;
    SetHover(-1, RowPart::None);
    POINT cursor{};
    if (preview_ != nullptr && preview_->IsShown() && ::GetCursorPos(&cursor) &&
        preview_->ContainsScreenPoint(cursor)) {
        return;  // the pointer moved into the preview
    }
    HidePreviewSoon();
}

void CZovrelHistoryListBox::OnScroll() {
    previewRow_ = -1;
    if (preview_ != nullptr) {
        preview_->HidePreview();
    }
}

LRESULT CZovrelHistoryListBox::OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam) {
    const history_list::RowHit hit = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (hit.row < 0 || RowRequestMessage(hit.part) == 0) {
        return DefaultHandling(message, wParam, lParam);
    }
    // A button acts when it is released over itself, as any push button does, so a press can
    // still be taken back by moving away. It never selects its row.
    pressed_ = hit;
    ::SetCapture(Hwnd());
    return 0;
}

LRESULT CZovrelHistoryListBox::OnButtonUp(UINT message, WPARAM wParam, LPARAM lParam) {
    if (pressed_.row < 0) {
        return DefaultHandling(message, wParam, lParam);
    }
    const history_list::RowHit pressed = pressed_;
    pressed_ = {};
    ::ReleaseCapture();
    const history_list::RowHit hit = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (!(hit == pressed)) {
        return 0;
    }
    return ::SendMessageW(::GetParent(Hwnd()), RowRequestMessage(hit.part),
                          static_cast<WPARAM>(hit.row), 0);
}

LRESULT CZovrelHistoryListBox::OnDoubleClick(UINT message, WPARAM wParam, LPARAM lParam) {
    const history_list::RowHit hit = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (hit.row >= 0 && hit.part == RowPart::None) {
        return ::SendMessageW(::GetParent(Hwnd()), WM_HISTORY_ACTIVATE,
                              static_cast<WPARAM>(hit.row), 0);
    }
    if (hit.row >= 0) {
        // The second press of a quick double press on a row button is a press too.
        return OnButtonDown(message, wParam, lParam);
    }
    return DefaultHandling(message, wParam, lParam);
}

LRESULT CZovrelHistoryListBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            break;
        case WM_MOUSELEAVE:
            OnMouseLeave();
            break;
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            // The rows move away from the pointer and from the preview beside them.
            OnScroll();
            break;
        case WM_LBUTTONDOWN:
            return OnButtonDown(message, wParam, lParam);
        case WM_LBUTTONUP:
            return OnButtonUp(message, wParam, lParam);
        case WM_CAPTURECHANGED:
            pressed_ = {};
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (OnKey(message, wParam)) {
                return 0;
            }
            break;
        case WM_GETDLGCODE:
            return DialogCode(message, wParam, lParam);
        case WM_CONTEXTMENU:
            OnContextMenu(lParam);
            return 0;
        case WM_LBUTTONDBLCLK:
            return OnDoubleClick(message, wParam, lParam);
        case WM_DROPFILES:
            // Files dropped on the list are the window's to take.
            return ::SendMessageW(::GetParent(Hwnd()), message, wParam, lParam);
        case WM_IMAGE_DECODED:
            OnDecoded(TakeDecodedImage(lParam));
            return 0;
        case WM_REQUEST_THUMBNAILS:
            RequestThumbnails();
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
