// Speed of the history list under Wine, run on demand (never in the test suite):
//   scripts/wine-run build/win64/tests/win/ui/win_ui_history_list_tests.exe
//       --gtest_also_run_disabled_tests --gtest_filter='*Bench*'
// Prints the times; asserts only what makes them meaningful (thumbnails come from the cache).

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "list_host.h"
#include "support/gui_test_support.h"
#include "ui/hover_preview_rules.h"
#include "ui/image_conversion_win32.h"

namespace zovrel::test {
namespace {

class Stopwatch {
  public:
    Stopwatch() { ::QueryPerformanceCounter(&start_); }
    double Ms() const {
        LARGE_INTEGER now{};
        LARGE_INTEGER frequency{};
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

  private:
    LARGE_INTEGER start_{};
};

// A PNG of noise, which no encoder can shrink: about 3 bytes per pixel.
Bytes NoisePng(int width, int height) {
    uint32_t state = 0x12345678u;
    return MakePng(width, height, [&](uint8_t* rows, int stride) {
        for (int y = 0; y < height; ++y) {
            uint8_t* p = rows + static_cast<ptrdiff_t>(y) * stride;
            for (int x = 0; x < width * 3; ++x) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                p[x] = static_cast<uint8_t>(state);
            }
        }
    });
}

// Average time of a full repaint of the list, after one repaint that fills the cache.
double RepaintMs(HWND list, int rounds) {
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Stopwatch watch;
    for (int i = 0; i < rounds; ++i) {
        ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    ::GdiFlush();
    return watch.Ms() / rounds;
}

class HistoryListBench : public GuiTest {};

TEST_F(HistoryListBench, DISABLED_RepaintAndFirstThumbnail) {
    const Bytes png = NoisePng(1880, 1860);
    ASSERT_GT(png.size(), 10u * 1024 * 1024);
    std::printf("PNG of noise: %zu bytes (%.1f MiB), 1880 x 1860\n", png.size(),
                static_cast<double>(png.size()) / 1048576.0);

    ScratchFolder folder(L"zovrel-list-bench");
    ClipboardHistory images(folder.Path() + L"\\images");
    ClipboardHistory texts(folder.Path() + L"\\texts");
    for (int i = 0; i < 30; ++i) {
        // Bytes after the end of the PNG make each entry distinct and are ignored by decoders.
        Bytes bytes = png;
        bytes.insert(bytes.end(), static_cast<size_t>(i) + 1, static_cast<uint8_t>(i));
        images.AddEntry(ImageEntry(std::move(bytes)));
        texts.AddEntry(TextEntry(L"第 " + std::to_wstring(i) +
                                 L" 条 — a line of copied text that is longer than the row, "
                                 L"so the row cuts it with an ellipsis at the end\r\nsecond line"));
    }

    const int x = 1900 - ui::ScaleForDpi(560, TestDpi());
    double firstThumbnailMs = 0;
    double imageMs = 0;
    size_t madeBefore = 0;
    size_t madeAfter = 0;
    {
        ListHost host(images, x, 40, 560, 720);
        // The host has drawn once; draw again with an empty cache.
        host.list.ClearThumbnailCache();
        const size_t made = host.list.ThumbnailsMade();
        Stopwatch first;
        ::RedrawWindow(host.list.Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        madeBefore = host.list.ThumbnailsMade();
        firstThumbnailMs = first.Ms() / static_cast<double>(madeBefore - made);
        imageMs = RepaintMs(host.list.Hwnd(), 20);
        madeAfter = host.list.ThumbnailsMade();
        std::printf("image rows drawn per repaint: %zu\n", madeBefore - made);
    }
    EXPECT_EQ(madeAfter, madeBefore);  // every timed repaint drew from the cache

    // What the rows' copies of their entries cost (the store hands out copies).
    Stopwatch copies;
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(images.GetEntryAt(i).has_value());
    }
    const double copyMs = copies.Ms() / 30;

    double textMs = 0;
    {
        ListHost host(texts, x, 40, 560, 720);
        textMs = RepaintMs(host.list.Hwnd(), 20);
    }

    // One thumbnail, and the preview of the same image, each from bytes never decoded before.
    Stopwatch thumbnailWatch;
    UniqueBitmap thumbnail =
        ui::MakeHeightFittedBitmap(png.data(), png.size(), L"image.png", 519, 68);
    const double thumbnailMs = thumbnailWatch.Ms();
    EXPECT_TRUE(thumbnail.IsValid());

    double previewMs = 0;
    {
        ListHost host(images, x, 40, 560, 720);
        auto entry = images.GetEntryAt(0);
        ASSERT_TRUE(entry.has_value());
        RECT anchor{};
        ::SendMessageW(host.list.Hwnd(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&anchor));
        ::MapWindowPoints(host.list.Hwnd(), nullptr, reinterpret_cast<POINT*>(&anchor), 2);
        Stopwatch watch;
        host.preview.ShowFor(*entry, anchor, 0);
        ::SendMessageW(host.preview.Hwnd(), WM_TIMER, ui::hover_preview::SHOW_TIMER, 0);
        ::UpdateWindow(host.preview.Hwnd());
        ::GdiFlush();
        previewMs = watch.Ms();
        EXPECT_TRUE(host.preview.IsShown());
    }

    std::printf("full repaint, 30 image entries of 10 MiB (thumbnails cached): %.2f ms\n", imageMs);
    std::printf("full repaint, 30 text entries:                                %.2f ms\n", textMs);
    std::printf("ratio images / texts: %.2f (target: at most 2)\n", imageMs / textMs);
    std::printf("one copy of an image entry (GetEntryAt): %.2f ms\n", copyMs);
    std::printf("first thumbnail in the list (per image row drawn): %.0f ms\n", firstThumbnailMs);
    std::printf("first thumbnail, MakeHeightFittedBitmap alone:        %.0f ms\n", thumbnailMs);
    std::printf("preview of the image (decode, place, scroll bars, paint): %.0f ms\n", previewMs);
}

}  // namespace
}  // namespace zovrel::test
