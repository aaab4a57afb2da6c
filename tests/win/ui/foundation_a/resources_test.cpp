// The resources linked into every window program: the icon at the sizes Windows asks for (the
// tray menu is opened in the whole-program runs).

#include <windows.h>

#include <gtest/gtest.h>

#include "base/win32_handle.h"
#include "support/gui_test_support.h"
#include "ui/ui_ids.h"
#include "ui/window_base_win32.h"

namespace zovrel::ui {
namespace {

using test::GuiTest;

class ResourcesTest : public GuiTest {};

TEST_F(ResourcesTest, IconLoadsAtEachSize) {
    for (int size : {16, 24, 32, 48, 256}) {
        SCOPED_TRACE(size);
        UniqueIcon icon(static_cast<HICON>(::LoadImageW(
            ModuleInstance(), MAKEINTRESOURCEW(IDI_ZOVREL), IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon.IsValid());
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon.Get(), &info));
        UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bits{};
        ASSERT_NE(::GetObjectW(colour.Get(), sizeof(bits), &bits), 0);
        EXPECT_EQ(bits.bmWidth, size);
        EXPECT_EQ(bits.bmHeight, size);
    }
}

}  // namespace
}  // namespace zovrel::ui
