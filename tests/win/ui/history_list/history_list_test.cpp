// The history list and its hover preview as real windows under Wine: what only a window shows
// (painting, requests, timers, scrolling); the rules themselves have native tables.
// Timers are driven by posting WM_TIMER, never by waiting for them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// A pointer position away from every window of the tests.
void ParkCursor() {
    ::SetCursorPos(1919, 1199);
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

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
    void SetUp() override { ParkCursor(); }
    void TearDown() override {
        host_.reset();
        PumpPending();
    }

    // A list 420 wide at the right of the screen; by default row 0 a text, row 1 an image,
    // row 2 a files entry.
    void Open(int height = 480) {
        if (history_.GetEntryCount() == 0) {
            history_.AddEntry(FilesEntry({L"C:\\数据\\报告.txt", L"C:\\数据\\b.bin"}, 2100));
            history_.AddEntry(ImageEntry(MakeTwoColourPng(320, 200)));
            history_.AddEntry(TextEntry(L"第一行 first line\r\n第二行 second line"));
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
    RECT ScreenRow(int row) {
        RECT r = ui::ToRect(Row(row));
        ::MapWindowPoints(List(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    RowGeometry Geometry(int row) {
        const auto entry = history_.GetEntryAt(row);
        return hl::LayoutRow(Row(row), entry && entry->kind == ENTRY_KIND_FILES, host_->Dpi());
    }
    // A point of the row outside its buttons.
    POINT Body(int row) { return Centre(Geometry(row).content); }

    void MoveMouse(POINT client) {
        POINT screen = client;
        ::ClientToScreen(List(), &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::SendMessageW(List(), WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    }
    // A press, or with WM_LBUTTONDBLCLK the second press of a double click.
    void Press(POINT client, UINT down = WM_LBUTTONDOWN) {
        ::SendMessageW(List(), down, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        ::SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
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
    // Shows an entry in the preview beside row 0, as the list does, and lets the delay pass.
    void Present(ClipboardEntry entry, int64_t id) {
        entry.id = id;
        Preview().ShowFor(entry, ScreenRow(0), 0);
        FireTimer(hp::SHOW_TIMER);
    }

    TempFolder folder_;
    ClipboardHistory history_{folder_.File(L"history")};
    std::unique_ptr<ListHost> host_;
};

TEST_F(HistoryListWindowTest, RowsShowColoursAndACachedThumbnail) {
    Open();
    const CapturedImage image = CaptureList();
    ASSERT_TRUE(image.IsValid());
    // Row 1, an odd image row: background (between header and content nothing is drawn),
    // accent bar, separator, button face; the text row has its text.
    const LayoutRect r = Row(1);
    const RowGeometry g = Geometry(1);
    EXPECT_EQ(image.PixelAt(g.content.x + g.content.w / 2, r.y + S(30)), RGB(228, 244, 232));
    EXPECT_EQ(image.PixelAt(r.x + 1, r.y + r.h / 2), RGB(46, 125, 50));
    EXPECT_EQ(image.PixelAt(r.x + r.w / 2, r.Bottom() - 1), RGB(224, 224, 224));
    EXPECT_EQ(image.PixelAt(g.send.x + S(3), g.send.y + S(3)), RGB(255, 255, 255));
    EXPECT_GT(DarkPixels(image, Geometry(0).content), 20);

    // The thumbnail: red left half, blue right half, the box's height, then background.
    const int thumbWidth = (320 * hl::ThumbnailBox(g.content, host_->Dpi()).second + 100) / 200;
    const int y = g.content.y + g.content.h / 2;
    const int left = g.content.x + S(2);
    EXPECT_TRUE(Near(image.PixelAt(left + 3, y), RGB(255, 0, 0), 24));
    EXPECT_TRUE(Near(image.PixelAt(left + thumbWidth - 4, y), RGB(0, 0, 255), 24));
    EXPECT_EQ(image.PixelAt(left + thumbWidth + 3, y), RGB(228, 244, 232));

    // Drawn from the cache from now on.
    CaptureList();
    EXPECT_EQ(host_->list.ThumbnailsMade(), 1u);
}

TEST_F(HistoryListWindowTest, APinnedRowShowsItsPinMarkInItsAccentColour) {
    Open();
    ASSERT_EQ(history_.SetPinned(2, true), 0);  // the files entry moves to the top
    // Rows measured again, as the main window's refresh does.
    ::SendMessageW(List(), LB_RESETCONTENT, 0, 0);
    for (const wchar_t* row : {L"1", L"2", L"3"}) {
        ::SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    }
    const CapturedImage image = CaptureList();
    const RowGeometry g = hl::LayoutRow(Row(0), true, host_->Dpi(), true);
    const LayoutRect plate = hl::PinMarkRects(g.pin, host_->Dpi())[3];
    EXPECT_EQ(image.PixelAt(plate.x + plate.w / 2, plate.y), RGB(230, 126, 34));
    EXPECT_GT(DarkPixels(image, g.time), 10);  // the time still shows beside it
    SaveScreenshot(List(), L"list-pinned-row");
}

// A resize never makes a thumbnail again; an image file that went away leaves an empty image
// area, is not read again on every repaint, and comes back after the next refresh.
TEST_F(HistoryListWindowTest, ThumbnailsSurviveResizesAndComeBackWithTheirFile) {
    Open();
    CaptureList();
    ASSERT_EQ(host_->list.ThumbnailsMade(), 1u);
    RECT frame{};
    ::GetWindowRect(List(), &frame);
    for (int width : {300, 380, 420}) {
        ::SetWindowPos(List(), nullptr, 0, 0, S(width), frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER);
        CaptureList();
    }
    EXPECT_EQ(host_->list.ThumbnailsMade(), 1u);

    const std::wstring path = history_.GetEntryAt(1)->image.Path();
    const std::wstring away = path + L".away";
    ASSERT_TRUE(::MoveFileW(path.c_str(), away.c_str()));
    host_->list.ClearThumbnailCache();
    const RowGeometry g = Geometry(1);
    const int x = g.content.x + S(2) + 3, y = g.content.y + g.content.h / 2;
    EXPECT_EQ(CaptureList().PixelAt(x, y), RGB(228, 244, 232));
    SaveScreenshot(List(), L"list-image-file-missing");
    const size_t tried = host_->list.ThumbnailsMade();
    ASSERT_TRUE(::MoveFileW(away.c_str(), path.c_str()));
    EXPECT_EQ(CaptureList().PixelAt(x, y), RGB(228, 244, 232));
    EXPECT_EQ(host_->list.ThumbnailsMade(), tried);
    host_->list.RetryUnreadThumbnails();
    EXPECT_TRUE(Near(CaptureList().PixelAt(x, y), RGB(255, 0, 0), 24));
}

// A row is drawn before its thumbnail is decoded, and the thumbnail shows when it arrives; the
// preview of the entry last shown opens without decoding again; a result that reaches a list
// after it has gone is freed.
TEST_F(HistoryListWindowTest, ThumbnailsAndPreviewsAreDecodedOffTheWindowsThread) {
    Open();
    CaptureList();
    host_->list.ClearThumbnailCache();
    const RowGeometry g = Geometry(1);
    const int x = g.content.x + S(2) + 3, y = g.content.y + g.content.h / 2;
    ::RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(CaptureWindow(List()).PixelAt(x, y), RGB(228, 244, 232));
    EXPECT_EQ(host_->list.ThumbnailsPending(), 1u);
    Settle();
    EXPECT_TRUE(Near(CaptureWindow(List()).PixelAt(x, y), RGB(255, 0, 0), 24));

    MoveMouse(Body(1));
    FireTimer(hp::SHOW_TIMER);
    ASSERT_EQ(Preview().Mode(), 2);
    Preview().HidePreview();
    MoveMouse(Body(1));
    ::SendMessageW(Preview().Hwnd(), WM_TIMER, hp::SHOW_TIMER, 0);
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

TEST_F(HistoryListWindowTest, ButtonsHighlightAndSendTheirRequestsWithoutSelecting) {
    Open();
    const RowGeometry g0 = Geometry(0);
    const POINT removeCorner{g0.remove.x + S(3), g0.remove.y + S(3)};
    MoveMouse(Centre(g0.remove));
    EXPECT_EQ(host_->list.HoverPart(), RowPart::Delete);
    EXPECT_EQ(CaptureList().PixelAt(removeCorner.x, removeCorner.y), RGB(221, 236, 255));
    SaveScreenshot(List(), L"list-rows");
    MoveMouse(Body(0));
    EXPECT_EQ(host_->list.HoverRow(), -1);

    // "删除" on an unselected row asks for the delete and selects nothing.
    Press(Centre(Geometry(1).remove));
    Press(Centre(g0.send));
    Press(Centre(Geometry(2).openFolder));
    const std::vector<std::pair<UINT, int>> expected = {
        {ui::WM_HISTORY_DELETE, 1}, {ui::WM_HISTORY_SEND, 0}, {ui::WM_HISTORY_OPEN_FOLDER, 2}};
    EXPECT_EQ(host_->requests, expected);
    EXPECT_EQ(::SendMessageW(List(), LB_GETCURSEL, 0, 0), LB_ERR);

    // A button acts on release over itself: released elsewhere it does nothing.
    ::SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON,
                   MAKELPARAM(Centre(g0.remove).x, Centre(g0.remove).y));
    EXPECT_EQ(host_->requests.size(), 3u);
    ::SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(Centre(g0.send).x, Centre(g0.send).y));
    EXPECT_EQ(host_->requests.size(), 3u);

    Press(Body(2), WM_LBUTTONDBLCLK);
    // On a button the second press of a double press is one more press, not an activation.
    Press(Centre(Geometry(1).send), WM_LBUTTONDBLCLK);
    using Requests = std::vector<std::pair<UINT, int>>;
    const Requests last = {{ui::WM_HISTORY_ACTIVATE, 2}, {ui::WM_HISTORY_SEND, 1}};
    ASSERT_EQ(host_->requests.size(), 5u);
    EXPECT_EQ(Requests(host_->requests.begin() + 3, host_->requests.end()), last);
}

TEST_F(HistoryListWindowTest, PreviewOpensAfterTheDelayAndFollowsThePointer) {
    Open();
    MoveMouse(Body(0));
    EXPECT_FALSE(Preview().IsShown());  // not before the show delay
    FireTimer(hp::SHOW_TIMER);
    ASSERT_TRUE(Preview().IsShown());
    EXPECT_EQ(Preview().ShownRow(), 0);
    RECT window{};
    ::GetWindowRect(Preview().Hwnd(), &window);
    EXPECT_EQ(window.right, ScreenRow(0).left - S(12));  // left of the row
    SaveScreenshot(Preview().Hwnd(), L"preview-text");

    // Onto a button: the preview goes after the hide delay.
    MoveMouse(Centre(Geometry(0).send));
    EXPECT_EQ(host_->list.PreviewRow(), -1);
    EXPECT_TRUE(Preview().IsShown());
    FireTimer(hp::HIDE_TIMER);
    EXPECT_FALSE(Preview().IsShown());

    // Back into the row's body and out into the preview: it stays.
    MoveMouse(Body(0));
    FireTimer(hp::SHOW_TIMER);
    ASSERT_TRUE(Preview().IsShown());
    // Leaving the list into the preview keeps it.
    ::SetCursorPos(window.left + S(20), window.top + S(20));
    ::SendMessageW(List(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(host_->list.PreviewRow(), 0);
    EXPECT_TRUE(Preview().IsShown());
    MoveMouse(Body(0));

    // A click into the preview closes it, and it stays closed while the pointer is on the row.
    ::SendMessageW(Preview().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_FALSE(Preview().IsShown());
    POINT nearby = Body(0);
    nearby.x += 3;
    MoveMouse(nearby);
    FireTimer(hp::SHOW_TIMER);
    EXPECT_FALSE(Preview().IsShown());

    // Another row opens its own preview, and scrolling the list hides it at once.
    MoveMouse(Body(1));
    FireTimer(hp::SHOW_TIMER);
    EXPECT_EQ(Preview().Mode(), 2);
    ::SendMessageW(List(), WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(Preview().IsShown());
}

TEST_F(HistoryListWindowTest, PreviewFitsItsTextAndScrollsABigImage) {
    Open();
    // A megabyte on one line is cut to what the window can show (the sizes are the rules').
    Present(TextEntry(std::wstring(1 << 20, L'x')), 1004);
    EXPECT_TRUE(Preview().IsShown());

    Present(ImageEntry(MakeTwoColourPng(2600, 1700)), 2001);
    ASSERT_TRUE(Preview().IsShown());
    EXPECT_TRUE(Preview().HorizontalBarShown());
    EXPECT_TRUE(Preview().VerticalBarShown());

    const RECT view = Preview().ImageView();
    ::SendMessageW(Preview().Hwnd(), WM_MOUSEWHEEL,
                   MAKEWPARAM(MK_SHIFT, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(Preview().HorizontalPosition(),
              std::max(static_cast<int>(view.right - view.left) / 4, S(16)));
    ::SendMessageW(Preview().Hwnd(), WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(::GetScrollPos(Preview().Hwnd(), SB_VERT), 1700 - (view.bottom - view.top));

    // The pointer on the preview's own scroll bar (outside its client area) keeps it open;
    // only a pointer outside the preview lets the hide timer close it.
    RECT window{};
    ::GetWindowRect(Preview().Hwnd(), &window);
    ::SetCursorPos(window.right - 4, (window.top + window.bottom) / 2);
    ::SendMessageW(Preview().Hwnd(), WM_MOUSELEAVE, 0, 0);
    FireTimer(hp::HIDE_TIMER);
    EXPECT_TRUE(Preview().IsShown());

    // The image is painted from the scrolled position: red up to x 1300, blue after it.
    ::UpdateWindow(Preview().Hwnd());
    const CapturedImage shown = CaptureWindow(Preview().Hwnd());
    const int h = Preview().HorizontalPosition();
    EXPECT_TRUE(Near(shown.PixelAt(view.left + 2, view.top + 2), RGB(255, 0, 0), 8));
    EXPECT_TRUE(Near(shown.PixelAt(view.left + 1300 - h + 2, view.top + 2), RGB(0, 0, 255), 8));
    if (_wgetenv(L"ZOVREL_SCREENSHOT_DIR") != nullptr) {  // from the screen: with its bars
        PumpMessages(300);  // Wine hands what a window drew to the X server a little later
        SaveImageScreenshot(CaptureScreen(Preview().Hwnd(), true), L"preview-image");
    }
}

TEST_F(HistoryListWindowTest, EntriesThatCannotBeShownDrawEmptyRows) {
    const Bytes wide = MakeTwoColourPng(100000, 1);
    ASSERT_FALSE(wide.empty());
    // A packed DIB header that claims a 0 x 0 picture.
    const Bytes zeroDib = PackedDib({.width = 0, .height = 0, .bitCount = 24}, Bytes(8));
    history_.AddEntry(TextEntry(L"\r\n\r\n\n"));                              // row 5
    history_.AddEntry(TextEntry(std::wstring(1 << 20, L'w')));                // row 4
    history_.AddEntry(ImageEntry(wide));                                      // row 3
    history_.AddEntry(FilesEntry({}, 0));                                     // row 2
    history_.AddEntry(ImageEntry(zeroDib, L"clipboard.dib"));                 // row 1
    history_.AddEntry(ImageEntry(Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'}));  // row 0
    Open(620);

    const CapturedImage image = CaptureList();
    ASSERT_TRUE(image.IsValid());
    for (int row : {0, 1}) {
        const RowGeometry g = Geometry(row);
        EXPECT_EQ(DarkPixels(image, g.content), 0) << row;
        EXPECT_EQ(image.PixelAt(g.content.x + S(2) + 3, g.content.y + g.content.h / 2),
                  row % 2 ? RGB(228, 244, 232) : RGB(244, 252, 246));
    }
    EXPECT_EQ(DarkPixels(image, Geometry(5).content), 0);  // only line breaks: empty
    EXPECT_GT(DarkPixels(image, Geometry(4).content), 20);
    // The very wide image fills the content's width, cut at its right edge.
    const RowGeometry wideRow = Geometry(3);
    const int y = wideRow.content.y + wideRow.content.h / 2;
    EXPECT_TRUE(Near(image.PixelAt(wideRow.content.x + S(2) + 3, y), RGB(255, 0, 0), 24));

    // Failed thumbnails are not made again on the next repaint.
    EXPECT_EQ(host_->list.ThumbnailsMade(), 3u);
    CaptureList();
    EXPECT_EQ(host_->list.ThumbnailsMade(), 3u);

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
