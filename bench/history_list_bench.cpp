// Speed of the history list under Wine (win64 build configured with -DZOVREL_BENCH=ON):
//   scripts/wine-run build/win64/bench/history_list_bench.exe
// Prints the times; asserts only what makes them meaningful (thumbnails come from the cache).

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "list_host.h"
#include "support/gui_test_support.h"

namespace zovrel::test {
namespace {

LARGE_INTEGER Now() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now;
}

double MsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(Now().QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// A PNG of noise, which no encoder can shrink: about 3 bytes per pixel.
Bytes NoisePng(int width, int height) {
    uint32_t state = 0x12345678u;
    return EncodeImage(width, height, [&](int, int) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state | 0xFF000000u;
    });
}

// Average time of a full repaint of the list, after one repaint that fills the cache.
double RepaintMs(HWND list, int rounds) {
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const LARGE_INTEGER start = Now();
    for (int i = 0; i < rounds; ++i) {
        ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    ::GdiFlush();
    return MsSince(start) / rounds;
}

using HistoryListBench = GuiTest;

TEST_F(HistoryListBench, RepaintAndFirstThumbnail) {
    const Bytes png = NoisePng(1880, 1860);
    ASSERT_GT(png.size(), 10u * 1024 * 1024);

    TempFolder folder;
    ClipboardHistory images(folder.File(L"images"));
    ClipboardHistory texts(folder.File(L"texts"));
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
    double imageMs = 0;
    {
        ListHost host(images, x, 40, 560, 720);
        // The host has drawn once; draw again with an empty cache.
        host.list.ClearThumbnailCache();
        const size_t before = host.list.ThumbnailsMade();
        const LARGE_INTEGER first = Now();
        ::RedrawWindow(host.list.Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const size_t made = host.list.ThumbnailsMade();
        std::printf("first thumbnail in the list: %.0f ms per image row (%zu rows drawn)\n",
                    MsSince(first) / static_cast<double>(made - before), made - before);
        imageMs = RepaintMs(host.list.Hwnd(), 20);
        EXPECT_EQ(host.list.ThumbnailsMade(), made);  // every timed repaint drew from the cache
    }
    // What the rows' copies of their entries cost (the store hands out copies).
    const LARGE_INTEGER copies = Now();
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(images.GetEntryAt(i).has_value());
    }
    std::printf("one copy of an image entry (GetEntryAt): %.2f ms\n", MsSince(copies) / 30);

    double textMs = 0;
    {
        ListHost host(texts, x, 40, 560, 720);
        textMs = RepaintMs(host.list.Hwnd(), 20);
    }
    std::printf("full repaint, 30 image entries of 10 MiB (thumbnails cached): %.2f ms\n", imageMs);
    std::printf("full repaint, 30 text entries:                                %.2f ms\n", textMs);
    std::printf("ratio images / texts: %.2f (target: at most 2)\n", imageMs / textMs);
}

}  // namespace
}  // namespace zovrel::test
