// The resources linked into every window program: the icon at the sizes Windows asks for, the
// tray menu and the About template in Chinese, and the version resource.

#include <windows.h>

#include <winver.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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
    struct Probe {
        int x, y;
        COLORREF colour;
    };
    // 16: the pixel-aligned drawing (board edge in column 1, transparent column 0, sheet);
    // 32: the detailed one scaled (board from x 4, sheet from x 7).
    const std::map<int, std::vector<Probe>> probes = {
        {16, {{0, 8, WHITE}, {1, 8, ACCENT}, {14, 8, ACCENT}, {2, 13, WHITE}, {8, 15, ACCENT}}},
        {32, {{1, 16, WHITE}, {5, 16, ACCENT}, {8, 12, WHITE}}},
    };
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
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
        if (const auto found = probes.find(size); found != probes.end()) {
            for (const Probe& p : found->second) {
                EXPECT_EQ(image.PixelAt(p.x, p.y), p.colour) << p.x << "," << p.y;
            }
        }
    }
}

TEST_F(ResourcesTest, TrayMenuHasItsThreeItemsInChinese) {
    UniqueMenu menu(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu.IsValid());
    HMENU popup = ::GetSubMenu(menu.Get(), 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup), 3);
    EXPECT_EQ(::GetMenuItemID(popup, 0), static_cast<UINT>(ID_TRAY_SHOW_MAIN));
    wchar_t text[64] = {};
    ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"显示主窗口");
    EXPECT_TRUE(::GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(::GetMenuItemID(popup, 2), static_cast<UINT>(ID_TRAY_EXIT));
    // The menu and the About template carry their language.
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    EXPECT_NE(::FindResourceExW(ModuleInstance(), MAKEINTRESOURCEW(4) /* RT_MENU */,
                                MAKEINTRESOURCEW(IDR_TRAY_MENU), chinese),
              nullptr);
    EXPECT_NE(::FindResourceExW(ModuleInstance(), MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                MAKEINTRESOURCEW(IDD_ABOUT), chinese),
              nullptr);
}

TEST_F(ResourcesTest, VersionResourceTellsOneVersion) {
    // version.dll by name, so the test needs no extra import library.
    HMODULE library = ::LoadLibraryW(L"version.dll");
    ASSERT_NE(library, nullptr);
    const auto getSize = reinterpret_cast<decltype(&::GetFileVersionInfoSizeW)>(
        reinterpret_cast<void*>(::GetProcAddress(library, "GetFileVersionInfoSizeW")));
    const auto getInfo = reinterpret_cast<decltype(&::GetFileVersionInfoW)>(
        reinterpret_cast<void*>(::GetProcAddress(library, "GetFileVersionInfoW")));
    const auto query = reinterpret_cast<decltype(&::VerQueryValueW)>(
        reinterpret_cast<void*>(::GetProcAddress(library, "VerQueryValueW")));
    ASSERT_TRUE(getSize != nullptr && getInfo != nullptr && query != nullptr);

    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD size = getSize(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(getInfo(path, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS));
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t* text = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        ASSERT_TRUE(query(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(std::wstring(text).rfind(numbers, 0), 0u) << name;
    }
}

}  // namespace
}  // namespace zovrel::ui
