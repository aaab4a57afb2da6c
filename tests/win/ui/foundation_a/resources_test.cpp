// The resources linked into every window program: the icon at the sizes Windows asks for and the
// tray menu in Chinese.

#include <windows.h>

#include <gtest/gtest.h>

#include "base/win32_handle.h"
#include "support/gui_test_support.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {
namespace {

using test::GuiTest;

constexpr COLORREF ACCENT = RGB(25, 118, 210);
constexpr COLORREF WHITE = RGB(255, 255, 255);

// The icon drawn on white at its own size.
test::CapturedImage DrawIconOnWhite(HICON icon, int size) {
    WindowDC screen(nullptr);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), size, size));
    {
        SelectedObject selected(memory.Get(), bitmap.Get());
        RECT all{0, 0, size, size};
        ::FillRect(memory.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::DrawIconEx(memory.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    }
    return test::CaptureBitmap(bitmap.Get());
}

class ResourcesTest : public GuiTest {};

TEST_F(ResourcesTest, IconLoadsAtEachSizeAndTheSmallOneIsSharp) {
    for (int size : {16, 24, 32, 48, 256}) {
        SCOPED_TRACE(size);
        UniqueIcon icon(static_cast<HICON>(::LoadImageW(
            ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL), IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon.IsValid());
        const test::CapturedImage image = DrawIconOnWhite(icon.Get(), size);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.Get(), &info));
        UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bits{};
        ASSERT_NE(::GetObjectW(colour.Get(), sizeof(bits), &bits), 0);
        EXPECT_EQ(bits.bmWidth, size);
        EXPECT_EQ(bits.bmHeight, size);
        if (size == 16) {
            // The pixel-aligned drawing: transparent column 0, board edge in column 1, sheet.
            const struct {
                int x, y;
                COLORREF colour;
            } probes[] = {{0, 8, WHITE}, {1, 8, ACCENT}, {14, 8, ACCENT}, {2, 13, WHITE}};
            for (const auto& p : probes) {
                EXPECT_EQ(image.PixelAt(p.x, p.y), p.colour) << p.x << "," << p.y;
            }
        }
    }
}

TEST_F(ResourcesTest, TrayMenuHasItsThreeItemsInChinese) {
    UniqueMenu menu(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu.IsValid());
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    ASSERT_EQ(::GetMenuItemCount(popup), 3);
    wchar_t text[64] = {};
    ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"显示主窗口");
    EXPECT_TRUE(::GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(::GetMenuItemID(popup, 2), static_cast<UINT>(ID_TRAY_EXIT));
}

}  // namespace
}  // namespace zovrel::ui
