// Speed of the history list under Wine (win64 build configured with -DZOVREL_BENCH=ON):
//   scripts/wine-run build/win64/bench/history_list_bench.exe
// Prints the times; asserts only what makes them meaningful (nothing timed decodes again).

#include <gtest/gtest.h>

#include <algorithm>
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

// Mean and worst of `rounds` runs of `step`, each timed on the window's thread.
struct Times {
    double meanMs = 0;
    double worstMs = 0;
};
template <typename Step>
Times Time(int rounds, Step step) {
    Times t;
    for (int i = 0; i < rounds; ++i) {
        const LARGE_INTEGER start = Now();
        step(i);
        ::GdiFlush();
        const double ms = MsSince(start);
        t.meanMs += ms / rounds;
        t.worstMs = std::max(t.worstMs, ms);
    }
    return t;
}

void Report(const char* what, const Times& t) {
    std::printf("%-52s mean %6.2f ms, worst %6.2f ms (target: at most 16)\n", what, t.meanMs,
                t.worstMs);
}

void Repaint(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// A resize step, mouse moves over the rows and a repaint of a list whose rows are drawn.
struct StepTimes {
    Times resize, move, repaint;
};
StepTimes TimeSteps(ListHost& host) {
    HWND list = host.list.Hwnd();
    RECT frame{};
    ::GetWindowRect(list, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    StepTimes t;
    t.resize = Time(40, [&](int i) {
        ::SetWindowPos(list, nullptr, 0, 0, width - 8 * (i % 20), height,
                       SWP_NOMOVE | SWP_NOZORDER);
        ::UpdateWindow(list);
    });
    // Over the rows' bodies, from row to row: hover, hit test and the preview's delay.
    RECT row{};
    ::SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    const int rowHeight = row.bottom - row.top;
    t.move = Time(60, [&](int i) {
        const int y = rowHeight / 2 + (i % 6) * rowHeight + (i % 3) * 7;
        ::SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(host.S(200), y));
    });
    t.repaint = Time(40, [&](int) { Repaint(list); });
    host.preview.HidePreview();
    return t;
}

using HistoryListBench = GuiTest;

// 30 rows of 10 MiB noise PNGs: what the window's thread spends on a resize step, a mouse move
// over the rows and a repaint once the thumbnails have arrived, against 30 text rows in the
// same run; and how long the thumbnails take to come.
TEST_F(HistoryListBench, ResizeMouseMoveAndRepaintWithThirtyImages) {
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
    StepTimes imageSteps;
    {
        ListHost host(images, x, 40, 560, 720);
        HWND list = host.list.Hwnd();
        auto settled = [&] { return host.list.ThumbnailsPending() == 0; };

        // The first paint only asks for the thumbnails; they come while the window stays free.
        PumpMessages(60000, settled);
        host.list.ClearThumbnailCache();
        const Times firstPaint = Time(1, [&](int) { Repaint(list); });
        const size_t asked = host.list.ThumbnailsPending();
        const LARGE_INTEGER start = Now();
        ASSERT_TRUE(PumpMessages(60000, settled));
        const double arrived = MsSince(start);
        Report("first paint, thumbnails not yet decoded", firstPaint);
        std::printf("%zu thumbnails decoded off the window's thread in %.0f ms (%.0f ms each)\n",
                    asked, arrived, arrived / static_cast<double>(asked));
        const size_t made = host.list.ThumbnailsMade();
        imageSteps = TimeSteps(host);
        EXPECT_EQ(host.list.ThumbnailsMade(), made);  // nothing timed decoded again
    }
    StepTimes textSteps;
    {
        ListHost host(texts, x, 40, 560, 720);
        textSteps = TimeSteps(host);
    }
    Report("resize step (8 px narrower, repainted), 30 images", imageSteps.resize);
    Report("                                        30 texts", textSteps.resize);
    Report("mouse move over the rows, 30 images", imageSteps.move);
    Report("                          30 texts", textSteps.move);
    Report("full repaint of the list, 30 images", imageSteps.repaint);
    Report("                          30 texts", textSteps.repaint);
}

}  // namespace
}  // namespace zovrel::test
