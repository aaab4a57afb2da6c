#include <gtest/gtest.h>

#include "ui/tray_icon.h"

namespace zovrel::ui {
namespace {

TEST(TrayRules, ShellVersionAndRecordSize) {
    struct Case {
        bool hasVersion;
        uint32_t major, minor, build;
        int shellVersion;
        uint32_t recordSize;
    };
    const Case cases[] = {
        {false, 10, 0, 19041, 0, 168},                              // no DllGetVersion export
        {true, 5, 0, 3900, 1, 952},    {true, 6, 0, 5999, 2, 968},  // XP
        {true, 6, 0, 6000, 3, 976},                                 // Vista
        {true, 10, 0, 22621, 4, 976},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << "." << c.build);
        const int version = ShellVersionFromDll(c.hasVersion, c.major, c.minor, c.build);
        EXPECT_EQ(version, c.shellVersion);
        EXPECT_EQ(NotifyRecordSize(version), c.recordSize);
    }
}

TEST(TrayRules, TooltipIsCutNotRejectedKeepingCharactersWhole) {
    const std::wstring a127(127, L'a');
    const std::wstring emoji = L"\U0001F600";  // two UTF-16 units: whole or not at all
    const struct {
        std::wstring tooltip;
        size_t limit;
        std::wstring shown;
    } cases[] = {
        {a127, 127, a127},
        {std::wstring(300, L'串'), 127, std::wstring(127, L'串')},
        // The oldest record has room for 63 characters and the terminator only.
        {a127, TooltipLimit(0), std::wstring(63, L'a')},
        {std::wstring(126, L'a') + emoji, 127, std::wstring(126, L'a')},
        {std::wstring(125, L'a') + emoji + L"b", 127, std::wstring(125, L'a') + emoji},
        {emoji + emoji, 3, emoji},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutTooltip(c.tooltip, c.limit), c.shown) << c.tooltip.size() << " " << c.limit;
    }
}

}  // namespace
}  // namespace zovrel::ui
