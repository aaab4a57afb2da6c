#include "ui/history_list_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/test_support.h"

namespace zovrel::ui::history_list {
namespace {

// Edges, as the rows are described: left, top, right, bottom.
LayoutRect Edges(int l, int t, int r, int b) {
    return LayoutRect{l, t, r - l, b - t};
}

TEST(HistoryListRows, HeightsScaleWithTheDpiAndFitInAByte) {
    EXPECT_GT(RowHeight(ENTRY_KIND_IMAGE, 96), RowHeight(std::nullopt, 96));
    EXPECT_EQ(RowHeight(ENTRY_KIND_TEXT, 144), RowHeight(ENTRY_KIND_TEXT, 96) * 3 / 2);
    // A list box keeps variable heights in one byte: 108 at 240 DPI would wrap to 14.
    EXPECT_EQ(RowHeight(ENTRY_KIND_IMAGE, 240), 255);
}

TEST(HistoryListRows, NarrowRowsNeverLetTheHeaderReachTheButtons) {
    for (int dpi : {96, 144}) {
        for (int flags = 0; flags < 4; ++flags) {
            const bool isFiles = (flags & 1) != 0, pinned = (flags & 2) != 0;
            for (int width = 0; width <= 400; width += 3) {
                const RowGeometry g = LayoutRow(Edges(5, 0, 5 + width, 60), isFiles, dpi, pinned);
                const int leftmost = isFiles ? g.openFolder.x : g.send.x;
                for (const LayoutRect& column : {g.kind, g.size, g.time, g.pin}) {
                    EXPECT_TRUE(column.w == 0 ||
                                (column.w > 0 && column.Right() <= leftmost - ScaleForDpi(8, dpi)))
                        << width << " " << dpi << " " << flags;
                }
                // The columns follow each other without overlapping; the pin mark after them.
                EXPECT_EQ(g.size.x, g.kind.Right());
                EXPECT_EQ(g.time.x, g.size.Right());
                if (g.pin.w > 0) {
                    EXPECT_LE(g.time.Right(), g.pin.x) << width << " " << dpi;
                } else {
                    // Only a row too narrow for it goes without its mark.
                    EXPECT_TRUE(!pinned || width < ScaleForDpi(220, dpi)) << width << " " << dpi;
                }
            }
        }
    }
}

// Each button is hit inside its rectangle only, the row's other parts never.
TEST(HistoryListRows, HitTestOfButtons) {
    for (int dpi : {96, 144}) {
        const RowGeometry g = LayoutRow(Edges(0, 60, 540, 120), true, dpi);
        for (const auto& [r, part] : {std::pair{g.remove, RowPart::Delete},
                                      {g.send, RowPart::Send},
                                      {g.openFolder, RowPart::OpenFolder}}) {
            EXPECT_EQ(HitTestButtons(g, r.x, r.y), part) << dpi;
            EXPECT_EQ(HitTestButtons(g, r.Right() - 1, r.Bottom() - 1), part) << dpi;
            EXPECT_EQ(HitTestButtons(g, r.Right(), r.y), RowPart::None) << dpi;
            EXPECT_EQ(HitTestButtons(g, r.x, r.Bottom()), RowPart::None) << dpi;
        }
        EXPECT_EQ(HitTestButtons(g, g.content.x + 1, g.content.y + 1), RowPart::None);
    }
    EXPECT_EQ(LayoutRow(Edges(0, 60, 540, 120), false, 96).openFolder, LayoutRect{});
}

TEST(HistoryListRows, FirstRowContainingWalksFromTheTop) {
    // Rows of 60, 108 and 60 pixels, the list scrolled so the first row is above the view.
    const std::vector<LayoutRect> rows = {Edges(0, -60, 300, 0), Edges(0, 0, 300, 108),
                                          Edges(0, 108, 300, 168)};
    auto rectOf = [&](int i) { return rows[static_cast<size_t>(i)]; };
    const int cases[][3] = {{10, -1, 0},   {10, 0, 1},    {299, 107, 1}, {10, 108, 2},
                            {10, 168, -1}, {300, 50, -1}, {-1, 50, -1}};
    for (const auto& [x, y, row] : cases) {
        EXPECT_EQ(FirstRowContaining(3, rectOf, x, y), row) << x << "," << y;
    }
    EXPECT_EQ(FirstRowContaining(0, rectOf, 10, 10), -1);
}

TEST(HistoryListRows, AThumbnailWiderThanItsBoxIsCutAtTheContentsRightEdge) {
    const LayoutRect content = Edges(11, 32, 534, 104);
    EXPECT_EQ(Intersect(ThumbnailPlacement(content, 900, 68, 96), content).Right(), 534);
    EXPECT_EQ(Intersect(Edges(0, 0, 10, 10), Edges(20, 20, 30, 30)).w, 0);
}

TEST(HistoryListTexts, SizeAndTimeText) {
    const std::pair<int64_t, const wchar_t*> sizes[] = {
        {1023, L"1023 B"}, {1048575, L"1023 KB"}, {5368709120LL, L"5120.0 MB"}, {-5, L"-5 B"}};
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(SizeText(bytes), text) << bytes;
    }
    // The tests run with TZ=UTC. 2024-03-05 14:07:09 UTC as a FILETIME; then none and one past
    // what Windows converts.
    EXPECT_EQ(TimeText(116444736000000000ull + 1709647629ull * 10000000ull), L"03-05 14:07");
    EXPECT_EQ(TimeText(0) + TimeText(0x8000000000000000ull), L"--");
}

TEST(HistoryListTexts, OneLineOfTextIsCutEarly) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"line one\r\nline two\nline three", L"line one line two line three"},
        {L"\t a \r\n \n b\t", L"a b"},
        {L"tab\tinside lone\rcr", L"tab\tinside lone\rcr"}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(OneLineOfText(in), out) << ToUtf8(in);
    }
    EXPECT_EQ(OneLineOfText(std::wstring(1 << 20, L'x')).size(), ONE_LINE_LIMIT);
    // Blanks and breaks ahead of the text do not count against the cut.
    std::wstring padded = std::wstring(10000, L'\n') + L"abc" + std::wstring(10000, L' ') + L"d";
    EXPECT_EQ(OneLineOfText(padded), L"abc d");
    EXPECT_EQ(OneLineOfText(L"abc   def", 4), L"abc");  // no blank left at the cut
    if (sizeof(wchar_t) == 2) {
        // Never half of a surrogate pair at the cut.
        const wchar_t pair[] = {L'a', L'b', static_cast<wchar_t>(0xD83D),
                                static_cast<wchar_t>(0xDE00), 0};
        EXPECT_EQ(OneLineOfText(pair, 3), L"ab");
    }

    // A file list shows its first path; without one, its caption as it is, cut.
    ClipboardEntry files = test::FilesEntry({L"C:\\data\\a.txt", L"C:\\data\\b.txt"});
    EXPECT_EQ(OneLineText(files), L"C:\\data\\a.txt");
    files.files.clear();
    files.text.assign(1 << 20, L'\n');
    const std::wstring caption = OneLineText(files);
    EXPECT_TRUE(caption.size() == ONE_LINE_LIMIT && caption.back() == L'\n');
}

TEST(HistoryListTexts, PreviewContentByKind) {
    ClipboardEntry e;  // each kind looks at its own content only
    e.files.push_back(L"C:\\f");
    e.image = StoredImage(SharedBytes({1, 2, 3}));
    EXPECT_FALSE(HasPreviewContent(e));
    e.kind = ENTRY_KIND_IMAGE;
    EXPECT_TRUE(HasPreviewContent(e));
    e.kind = ENTRY_KIND_FILES;
    EXPECT_TRUE(HasPreviewContent(e));
    e.files.clear();
    e.text = L"a";
    EXPECT_FALSE(HasPreviewContent(e));
    e.kind = ENTRY_KIND_IMAGE;
    e.image = {};
    EXPECT_FALSE(HasPreviewContent(e));
}

TEST(HistoryListThumbnails, CacheKeepsOneResultPerEntryAndChecksIdentity) {
    ThumbnailCache<std::shared_ptr<int>> cache;
    ASSERT_EQ(ThumbnailKey(5, 510, 68), ThumbnailKey(6, 500, 68));
    cache.Store(6, 500, 68, std::make_shared<int>(6));
    // Same key, another entry: a miss, never entry 6's picture.
    EXPECT_EQ(cache.Find(5, 510, 68), nullptr);
    EXPECT_EQ(**cache.Find(6, 500, 68), 6);
    // Storing the colliding entry replaces the slot; both stay correct.
    cache.Store(5, 510, 68, std::make_shared<int>(5));
    EXPECT_EQ(cache.Find(6, 500, 68), nullptr);
    EXPECT_EQ(**cache.Find(5, 510, 68), 5);

    // A new size of an entry frees its old one (resizing does not pile up bitmaps).
    auto old = std::make_shared<int>(50);
    std::weak_ptr<int> watch = old;
    cache.Store(5, 400, 68, std::move(old));
    cache.Store(5, 401, 68, std::make_shared<int>(51));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(cache.Size(), 1u);

    // A failure is kept as an empty result, so it is not tried again.
    cache.Store(7, 401, 68, nullptr);
    const auto* failed = cache.Find(7, 401, 68);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(*failed, nullptr);
}

TEST(HistoryListThumbnails, CacheDropsTheLeastRecentlyUsedBeyondItsCapacity) {
    ThumbnailCache<int> cache(3);
    for (int id : {1, 2, 3}) {
        cache.Store(id, 10, 10, id);
    }
    ASSERT_NE(cache.Find(1, 10, 10), nullptr);  // 2 is now the least recently used
    cache.Store(4, 10, 10, 4);
    EXPECT_EQ(cache.Size(), 3u);
    EXPECT_EQ(cache.Find(2, 10, 10), nullptr);
    for (int id : {1, 3, 4}) {
        EXPECT_NE(cache.Find(id, 10, 10), nullptr) << id;
    }
}

}  // namespace
}  // namespace zovrel::ui::history_list
