#include <gtest/gtest.h>

#include "ui/tray_icon.h"

namespace zovrel::ui {
namespace {

// What shell32's DllGetVersion reports (nothing, 5.0, XP's 6.0, Vista's 6.0.6000, 10) and the size
// of the record the shell then takes.
TEST(TrayRules, ShellVersionAndRecordSize) {
    const std::tuple<bool, uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
        {false, 10, 0, 19041, 168}, {true, 5, 0, 3900, 952},   {true, 6, 0, 5999, 968},
        {true, 6, 0, 6000, 976},    {true, 10, 0, 22621, 976},
    };
    for (const auto& [hasVersion, major, minor, build, recordSize] : cases) {
        EXPECT_EQ(NotifyRecordSize(ShellVersionFromDll(hasVersion, major, minor, build)),
                  recordSize)
            << major << "." << minor << "." << build;
    }
}

TEST(TrayRules, TooltipIsCutNotRejectedKeepingCharactersWhole) {
    const std::wstring a127(127, L'a');
    const std::wstring emoji = L"\U0001F600";  // two UTF-16 units: whole or not at all
    // The tooltip, the room in the record, and what shows.
    const std::tuple<std::wstring, size_t, std::wstring> cases[] = {
        {a127, 127, a127},
        {std::wstring(300, L'串'), 127, std::wstring(127, L'串')},
        // The oldest record has room for 63 characters and the terminator only.
        {a127, TooltipLimit(0), std::wstring(63, L'a')},
        {std::wstring(126, L'a') + emoji, 127, std::wstring(126, L'a')},
        {std::wstring(125, L'a') + emoji + L"b", 127, std::wstring(125, L'a') + emoji},
        {emoji + emoji, 3, emoji},
    };
    for (const auto& [tooltip, limit, shown] : cases) {
        EXPECT_EQ(CutTooltip(tooltip, limit), shown) << tooltip.size() << " " << limit;
    }
}

}  // namespace
}  // namespace zovrel::ui
