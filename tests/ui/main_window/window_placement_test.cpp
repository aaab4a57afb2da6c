// The remembered window rectangle: read back only when whole, sane and on a screen; stored in
// 96-DPI pixels; and the contrast palettes.

#include "ui/window_placement.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "ui/contrast_rules.h"

namespace zovrel::ui {
namespace {

using Texts = WindowPlacementTexts;  // left, top, width, height as read; none when missing

TEST(WindowPlacement, RestoredOnlyWhenWholeAndOnAScreen) {
    // Two monitors side by side; the right one's work area leaves a taskbar at its bottom.
    const std::vector<LayoutRect> screens = {{0, 0, 1920, 1040}, {1920, 0, 1280, 984}};
    const ClientSize minimum{226, 399};
    // What was saved, the DPI now, and the rectangle restored.
    const std::tuple<const char*, WindowPlacementTexts, int, std::optional<LayoutRect>> cases[] = {
        {"as saved, blanks and signs allowed", Texts{L" -40 ", L"+80", L"560", L"720"}, 96,
         LayoutRect{-40, 80, 560, 720}},
        {"scaled to 144 DPI", Texts{L"100", L"80", L"560", L"720"}, 144,
         LayoutRect{150, 120, 840, 1080}},
        {"on the second monitor", Texts{L"2000", L"100", L"560", L"720"}, 96,
         LayoutRect{2000, 100, 560, 720}},
        {"too small: raised to the minimum", Texts{L"10", L"10", L"50", L"20"}, 96,
         LayoutRect{10, 10, 226, 399}},
        {"a monitor since removed", Texts{L"3400", L"100", L"560", L"720"}, 96, std::nullopt},
        {"only a sliver left on screen", Texts{L"-530", L"100", L"560", L"720"}, 96, std::nullopt},
        {"a key missing", Texts{L"100", std::nullopt, L"560", L"720"}, 96, std::nullopt},
        {"negative size", Texts{L"100", L"80", L"560", L"-720"}, 96, std::nullopt},
        {"not a whole decimal", Texts{L"100", L"80", L"560px", L"720"}, 96, std::nullopt},
        {"seven digits", Texts{L"100", L"80", L"5600000", L"720"}, 96, std::nullopt},
    };
    for (const auto& [name, saved, dpi, rect] : cases) {
        EXPECT_EQ(RestoredWindowRect(saved, dpi, screens, minimum), rect) << name;
    }
    EXPECT_EQ(RestoredWindowRect(Texts{L"1", L"1", L"560", L"720"}, 96, {}, minimum), std::nullopt)
        << "no screen at all";
}

TEST(WindowPlacement, StoredIn96DpiPixelsAndReadBackTheSame) {
    EXPECT_EQ(WindowRectToSave({150, 120, 840, 1080}, 144), (LayoutRect{100, 80, 560, 720}));
    // A round trip at 120 DPI moves nothing by more than a pixel.
    const LayoutRect saved = WindowRectToSave({333, 222, 701, 899}, 120);
    const auto back = RestoredWindowRect(Texts{std::to_wstring(saved.x), std::to_wstring(saved.y),
                                               std::to_wstring(saved.w), std::to_wstring(saved.h)},
                                         120, {{0, 0, 1920, 1080}}, {1, 1});
    ASSERT_TRUE(back);
    EXPECT_LE(std::abs(back->x - 333) + std::abs(back->y - 222), 2);
    EXPECT_LE(std::abs(back->w - 701) + std::abs(back->h - 899), 2);
}

TEST(ContrastRules, HighContrastDrawsEveryTextInTheSystemPairOfItsBackground) {
    const SystemColours system{0x000000, 0xFFFFFF, 0x00FFFF, 0x000001, 0x101010, 0xEEEEEE};
    for (const std::optional<uint32_t> kind :
         std::initializer_list<std::optional<uint32_t>>{std::nullopt, 0u, 1u, 2u}) {
        for (bool selected : {false, true}) {
            const RowPalette p = RowPaletteFor(kind, selected, true, &system);
            const Colour ground = selected ? system.highlight : system.window;
            const Colour ink = selected ? system.highlightText : system.windowText;
            EXPECT_EQ(p.background, ground);
            for (Colour text : {p.accent, p.number, p.detail, p.text, p.focus, p.separator}) {
                EXPECT_EQ(text, ink);
            }
            EXPECT_EQ(p.buttonHoverText, system.highlightText);
        }
    }
    EXPECT_EQ(PreviewPaletteFor(&system), (PreviewPalette{system.window, system.windowText,
                                                          system.windowText, system.windowText}));
}

}  // namespace
}  // namespace zovrel::ui
