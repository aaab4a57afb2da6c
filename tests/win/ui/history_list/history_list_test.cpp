// The history list and its hover preview as real windows under Wine: what only a window shows
// (painting, requests, timers, scrolling); the rules themselves have native tables.
// Timers are driven by posting WM_TIMER, never by waiting for them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "list_host.h"
#include "support/gui_test_support.h"
#include "ui/history_list_rules.h"
#include "ui/hover_preview_rules.h"

namespace zovrel::test {
namespace {

using ui::LayoutRect;
using ui::history_list::RowGeometry;
using ui::history_list::RowPart;
namespace hl = ui::history_list;
namespace hp = ui::hover_preview;

constexpr COLORREF kRed = RGB(255, 0, 0);

POINT Centre(const LayoutRect& r) {
    return POINT{r.x + r.w / 2, r.y + r.h / 2};
}

// Dark pixels (text) inside a rectangle of a capture.
int DarkPixels(const CapturedImage& image, const LayoutRect& r) {
    int dark = 0;
    for (int y = r.y; y < r.Bottom(); ++y) {
        for (int x = r.x; x < r.Right(); ++x) {
            const COLORREF c = image.PixelAt(x, y);
            dark += (GetRValue(c) + GetGValue(c) + GetBValue(c)) < 3 * 128 ? 1 : 0;
        }
    }
    return dark;
}

class HistoryListWindowTest : public GuiTest {
  protected:
    void SetUp() override { ::SetCursorPos(1919, 1199); }  // away from every window
    void TearDown() override {
        host_.reset();
        PumpPending();
    }

    // Row 0 a text, row 1 an image, row 2 a files entry.
    void AddEntries() {
        history_.AddEntry(FilesEntry({L"C:\\数据\\报告.txt", L"C:\\数据\\b.bin"}, 2100));
        history_.AddEntry(ImageEntry(MakeTwoColourPng(320, 200)));
        history_.AddEntry(TextEntry(L"第一行 first line\r\n第二行 second line"));
    }
    // A list 420 wide at the right of the screen, of the entries added (by default AddEntries').
    void Open(int height = 480) {
        if (history_.GetEntryCount() == 0) {
            AddEntries();
        }
        const int x = 1900 - ui::ScaleForDpi(420, TestDpi());
        host_ = std::make_unique<ListHost>(history_, x, 60, 420, height);
        ASSERT_TRUE(host_->list.IsCreated() && host_->preview.IsCreated());
        PumpPending();
    }

    HWND List() { return host_->list.Hwnd(); }
    ui::CZovrelHoverPreviewWnd& Preview() { return host_->preview; }
    int S(int value) { return host_->S(value); }

    LayoutRect Row(int row) {
        RECT r{};
        ::SendMessageW(List(), LB_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&r));
        return LayoutRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    RowGeometry Geometry(int row) {
        const auto entry = history_.GetEntryAt(row);
        return hl::LayoutRow(Row(row), entry && entry->kind == ENTRY_KIND_FILES, host_->Dpi());
    }
    // A point of the row outside its buttons.
    POINT Body(int row) { return Centre(Geometry(row).content); }
    // A point near the left end of the row's thumbnail.
    POINT Thumbnail(int row) {
        const LayoutRect c = Geometry(row).content;
        return POINT{c.x + S(2) + 3, c.y + c.h / 2};
    }
    // Nothing drawn in the row's content: no text, and its thumbnail's place shows what the
    // content's far end shows.
    bool EmptyContent(const CapturedImage& image, int row) {
        const LayoutRect c = Geometry(row).content;
        const POINT t = Thumbnail(row);
        return DarkPixels(image, c) == 0 &&
               image.PixelAt(t.x, t.y) == image.PixelAt(c.Right() - 2, t.y);
    }

    void MoveMouse(POINT client) {
        POINT screen = client;
        ::ClientToScreen(List(), &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::SendMessageW(List(), WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    }
    // A press, or with WM_LBUTTONDBLCLK the second press of a double click.
    void Press(POINT down, UINT message = WM_LBUTTONDOWN, POINT up = {-1, -1}) {
        up = up.x < 0 ? down : up;
        ::SendMessageW(List(), message, MK_LBUTTON, MAKELPARAM(down.x, down.y));
        ::SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
    }
    void FireTimer(UINT id) {
        ::PostMessageW(Preview().Hwnd(), WM_TIMER, id, 0);
        PumpPending();
        Settle();
    }
    // Lets the decoding thread's thumbnails and preview arrive.
    void Settle() {
        PumpMessages(10000, [this] {
            return host_->list.ThumbnailsPending() == 0 && !Preview().AwaitingImage();
        });
        PumpPending();
    }
    CapturedImage CaptureList() {
        ::RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Settle();
        return CaptureWindow(List());
    }

    TempFolder folder_;
    ClipboardHistory history_{folder_.File(L"history")};
    std::unique_ptr<ListHost> host_;
};

// A resize never makes a thumbnail again; an image file that went away leaves an empty image
// area, is not read again on every repaint, and comes back after the next refresh.
TEST_F(HistoryListWindowTest, RowsPaintTheirContentAndThumbnailsAreMadeOnce) {
    AddEntries();
    ASSERT_EQ(history_.SetPinned(2, true), 0);  // the files entry, pinned, moves to the top
    Open();
    const CapturedImage image = CaptureList();
    ASSERT_TRUE(image.IsValid());
    EXPECT_GT(DarkPixels(image, Geometry(1).content), 20);  // the text
    const LayoutRect plate =
        hl::PinMarkRects(hl::LayoutRow(Row(0), true, host_->Dpi(), true).pin, host_->Dpi())[3];
    EXPECT_EQ(image.PixelAt(plate.x + plate.w / 2, plate.y),
              hl::RowColoursFor(ENTRY_KIND_FILES, false, false).accent);
    SaveScreenshot(List(), L"list-pinned-row");

    // The thumbnail: red left half, blue right half, as wide as the box's height allows.
    const RowGeometry g = Geometry(2);
    const int thumbWidth = (320 * hl::ThumbnailBox(g.content, host_->Dpi()).second + 100) / 200;
    const POINT t = Thumbnail(2);
    EXPECT_TRUE(Near(image.PixelAt(t.x, t.y), kRed));
    EXPECT_TRUE(Near(image.PixelAt(t.x + thumbWidth - 7, t.y), RGB(0, 0, 255)));
    EXPECT_EQ(image.PixelAt(t.x + thumbWidth, t.y), image.PixelAt(g.content.Right() - 2, t.y));

    RECT frame{};
    ::GetWindowRect(List(), &frame);
    for (int width : {300, 380, 420}) {
        ::SetWindowPos(List(), nullptr, 0, 0, S(width), frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER);
        CaptureList();
    }
    EXPECT_EQ(host_->list.ThumbnailsMade(), 1u);

    const std::wstring path = history_.GetEntryAt(2)->image.Path();
    const std::wstring away = path + L".away";
    ASSERT_TRUE(::MoveFileW(path.c_str(), away.c_str()));
    host_->list.ClearThumbnailCache();
    EXPECT_TRUE(EmptyContent(CaptureList(), 2));
    SaveScreenshot(List(), L"list-image-file-missing");
    const size_t tried = host_->list.ThumbnailsMade();
    ASSERT_TRUE(::MoveFileW(away.c_str(), path.c_str()));
    EXPECT_TRUE(EmptyContent(CaptureList(), 2));
    EXPECT_EQ(host_->list.ThumbnailsMade(), tried);
    host_->list.RetryUnreadThumbnails();
    EXPECT_TRUE(Near(CaptureList().PixelAt(t.x, t.y), kRed));
}

// A row is drawn before its thumbnail is decoded, and the thumbnail shows when it arrives; the
// preview of the entry last shown opens without decoding again; a result that reaches a list
// after it has gone is freed.
TEST_F(HistoryListWindowTest, ThumbnailsAndPreviewsAreDecodedOffTheWindowsThread) {
    Open();
    CaptureList();
    host_->list.ClearThumbnailCache();
    const POINT t = Thumbnail(1);
    ::RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(EmptyContent(CaptureWindow(List()), 1));
    EXPECT_EQ(host_->list.ThumbnailsPending(), 1u);
    Settle();
    EXPECT_TRUE(Near(CaptureWindow(List()).PixelAt(t.x, t.y), kRed));

    MoveMouse(Body(1));
    FireTimer(hp::SHOW_TIMER);  // decoded, then shown
    Preview().HidePreview();
    MoveMouse(Body(1));
    ::SendMessageW(Preview().Hwnd(), WM_TIMER, hp::SHOW_TIMER, 0);  // shown at once
    EXPECT_EQ(Preview().Mode(), 2);
    EXPECT_FALSE(Preview().AwaitingImage());

    auto decoded = std::make_unique<ui::DecodedImage>();
    decoded->bitmap.Reset(::CreateBitmap(4, 4, 1, 32, nullptr));
    const HBITMAP bitmap = decoded->bitmap.Get();
    ASSERT_TRUE(::PostMessageW(List(), ui::WM_IMAGE_DECODED, 0,
                               reinterpret_cast<LPARAM>(decoded.release())));
    host_.reset();
    EXPECT_EQ(::GetObjectType(bitmap), 0u);
}

TEST_F(HistoryListWindowTest, ButtonsHighlightAndAskOnReleaseOverThemselvesWithoutSelecting) {
    Open();
    const RowGeometry g0 = Geometry(0);
    MoveMouse(Centre(g0.remove));
    EXPECT_EQ(host_->list.HoverPart(), RowPart::Delete);
    EXPECT_EQ(CaptureList().PixelAt(g0.remove.x + S(3), g0.remove.y + S(3)),
              hl::BUTTON_HOVER_COLOUR);
    SaveScreenshot(List(), L"list-rows");

    Press(Centre(Geometry(1).remove));
    Press(Centre(g0.send));
    Press(Centre(Geometry(2).openFolder));
    Press(Centre(g0.remove), WM_LBUTTONDOWN, Centre(g0.send));  // released elsewhere: nothing
    EXPECT_EQ(::SendMessageW(List(), LB_GETCURSEL, 0, 0), LB_ERR);
    Press(Body(2), WM_LBUTTONDBLCLK);
    // On a button the second press of a double press is one more press, not an activation.
    Press(Centre(Geometry(1).send), WM_LBUTTONDBLCLK);
    const std::vector<std::pair<UINT, int>> expected = {{ui::WM_HISTORY_DELETE, 1},
                                                        {ui::WM_HISTORY_SEND, 0},
                                                        {ui::WM_HISTORY_OPEN_FOLDER, 2},
                                                        {ui::WM_HISTORY_ACTIVATE, 2},
                                                        {ui::WM_HISTORY_SEND, 1}};
    EXPECT_EQ(host_->requests, expected);
}

TEST_F(HistoryListWindowTest, PreviewOpensAfterTheDelayAndFollowsThePointer) {
    Open();
    MoveMouse(Body(0));
    EXPECT_FALSE(Preview().IsShown());  // not before the show delay
    FireTimer(hp::SHOW_TIMER);
    ASSERT_TRUE(Preview().IsShown());
    EXPECT_EQ(Preview().ShownRow(), 0);
    SaveScreenshot(Preview().Hwnd(), L"preview-text");

    // Onto a button: the preview goes after the hide delay.
    MoveMouse(Centre(Geometry(0).send));
    EXPECT_EQ(host_->list.PreviewRow(), -1);
    FireTimer(hp::HIDE_TIMER);
    EXPECT_FALSE(Preview().IsShown());

    // Leaving the list into the preview keeps it.
    MoveMouse(Body(0));
    FireTimer(hp::SHOW_TIMER);
    RECT window{};
    ::GetWindowRect(Preview().Hwnd(), &window);
    ::SetCursorPos(window.left + S(20), window.top + S(20));
    ::SendMessageW(List(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(host_->list.PreviewRow(), 0);
    EXPECT_TRUE(Preview().IsShown());

    // A click into the preview closes it, and it stays closed while the pointer is on the row.
    MoveMouse(Body(0));
    ::SendMessageW(Preview().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_FALSE(Preview().IsShown());
    MoveMouse(POINT{Body(0).x + 3, Body(0).y});
    FireTimer(hp::SHOW_TIMER);
    EXPECT_FALSE(Preview().IsShown());

    // Another row opens its own preview, and scrolling the list hides it at once.
    MoveMouse(Body(1));
    FireTimer(hp::SHOW_TIMER);
    EXPECT_EQ(Preview().Mode(), 2);
    ::SendMessageW(List(), WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(Preview().IsShown());
}

TEST_F(HistoryListWindowTest, PreviewScrollsABigImageAndStaysOnItsOwnScrollBar) {
    Open();
    ClipboardEntry big = ImageEntry(MakeTwoColourPng(2600, 1700));
    big.id = 2001;
    RECT row = ui::ToRect(Row(0));
    ::MapWindowPoints(List(), nullptr, reinterpret_cast<POINT*>(&row), 2);
    Preview().ShowFor(big, row, 0);
    FireTimer(hp::SHOW_TIMER);
    ASSERT_TRUE(Preview().IsShown());
    EXPECT_TRUE(Preview().HorizontalBarShown() && Preview().VerticalBarShown());

    const RECT view = Preview().ImageView();
    ::SendMessageW(Preview().Hwnd(), WM_MOUSEWHEEL,
                   MAKEWPARAM(MK_SHIFT, static_cast<WORD>(-WHEEL_DELTA)), 0);
    const int h = Preview().HorizontalPosition();
    EXPECT_GT(h, 0);
    ::SendMessageW(Preview().Hwnd(), WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(::GetScrollPos(Preview().Hwnd(), SB_VERT), 1700 - (view.bottom - view.top));

    // The pointer on the preview's own scroll bar (outside its client area) keeps it open.
    RECT window{};
    ::GetWindowRect(Preview().Hwnd(), &window);
    ::SetCursorPos(window.right - 4, (window.top + window.bottom) / 2);
    ::SendMessageW(Preview().Hwnd(), WM_MOUSELEAVE, 0, 0);
    FireTimer(hp::HIDE_TIMER);
    EXPECT_TRUE(Preview().IsShown());

    // Painted from the scrolled position: red up to x 1300, blue after it.
    ::UpdateWindow(Preview().Hwnd());
    const CapturedImage shown = CaptureWindow(Preview().Hwnd());
    EXPECT_TRUE(Near(shown.PixelAt(view.left + 2, view.top + 2), kRed, 8));
    EXPECT_TRUE(Near(shown.PixelAt(view.left + 1300 - h + 2, view.top + 2), RGB(0, 0, 255), 8));
    if (_wgetenv(L"ZOVREL_SCREENSHOT_DIR") != nullptr) {  // from the screen: with its bars
        PumpMessages(300);  // Wine hands what a window drew to the X server a little later
        SaveImageScreenshot(CaptureScreen(Preview().Hwnd(), true), L"preview-image");
    }
}

// A very wide image and a huge text: the native fit and cut tables, and the image conversion's
// wide case.
TEST_F(HistoryListWindowTest, EntriesThatCannotBeShownDrawEmptyRows) {
    // A packed DIB header that claims a 0 x 0 picture.
    const Bytes zeroDib = PackedDib({.width = 0, .height = 0, .bitCount = 24}, Bytes(8));
    history_.AddEntry(TextEntry(L"\r\n\r\n\n"));                              // row 3
    history_.AddEntry(FilesEntry({}, 0));                                     // row 2
    history_.AddEntry(ImageEntry(zeroDib, L"clipboard.dib"));                 // row 1
    history_.AddEntry(ImageEntry(Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'}));  // row 0
    Open();

    const CapturedImage image = CaptureList();
    ASSERT_TRUE(image.IsValid());
    for (int row : {0, 1, 3}) {  // undecodable, or only line breaks
        EXPECT_TRUE(EmptyContent(image, row)) << row;
    }
    // Failed thumbnails are not made again on the next repaint.
    EXPECT_EQ(host_->list.ThumbnailsMade(), 2u);
    CaptureList();
    EXPECT_EQ(host_->list.ThumbnailsMade(), 2u);

    // No preview for an image that cannot be decoded, nor for an empty file list.
    for (int row : {0, 2, 1}) {
        MoveMouse(Body(row));
        FireTimer(hp::SHOW_TIMER);
        EXPECT_FALSE(Preview().IsShown()) << row;
    }
    EXPECT_EQ(Preview().Mode(), 0);
}

}  // namespace
}  // namespace zovrel::test
