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
        {false, 10, 0, 19041, 0, 168},  // no DllGetVersion export
        {true, 4, 72, 3110, 0, 168},    // shell 4.x
        {true, 5, 0, 3900, 1, 952},    {true, 5, 50, 0, 1, 952},
        {true, 6, 0, 2900, 2, 968},                                 // XP
        {true, 6, 0, 5999, 2, 968},    {true, 6, 0, 6000, 3, 976},  // Vista
        {true, 6, 0, 6001, 3, 976},    {true, 6, 1, 0, 4, 976},     // 7
        {true, 6, 2, 9200, 4, 976},    {true, 7, 0, 0, 4, 976},
        {true, 10, 0, 22621, 4, 976},  {true, 0, 0, 0, 0, 168},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << "." << c.build);
        const int version = ShellVersionFromDll(c.hasVersion, c.major, c.minor, c.build);
        EXPECT_EQ(version, c.shellVersion);
        EXPECT_EQ(NotifyRecordSize(version), c.recordSize);
    }
}

TEST(TrayRules, TooltipIsCutNotRejected) {
    const std::wstring a127(127, L'a');
    EXPECT_EQ(CutTooltip(L"zovrel", TooltipLimit(4)), L"zovrel");
    EXPECT_EQ(CutTooltip(a127, 127), a127);
    EXPECT_EQ(CutTooltip(a127 + L"bcd", 127), a127);
    EXPECT_EQ(CutTooltip(std::wstring(300, L'串'), 127), std::wstring(127, L'串'));
    EXPECT_EQ(CutTooltip(L"", 127), L"");
    // The oldest record has room for 63 characters and the terminator only.
    EXPECT_EQ(TooltipLimit(0), 63u);
    EXPECT_EQ(TooltipLimit(1), 127u);
    EXPECT_EQ(TooltipLimit(3), 127u);
    EXPECT_EQ(CutTooltip(a127, TooltipLimit(0)), std::wstring(63, L'a'));
}

TEST(TrayRules, TooltipCutKeepsCharactersWhole) {
    // A character outside the basic plane takes two UTF-16 units; it goes whole or not at all.
    const std::wstring emoji = L"\U0001F600";
    const std::wstring a126(126, L'a');
    EXPECT_EQ(CutTooltip(a126 + emoji, 127), a126);
    EXPECT_EQ(CutTooltip(std::wstring(125, L'a') + emoji + L"b", 127),
              std::wstring(125, L'a') + emoji);
    EXPECT_EQ(CutTooltip(emoji + emoji, 3), emoji);
}

}  // namespace
}  // namespace zovrel::ui
