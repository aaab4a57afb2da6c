#pragma once

// The tray icon's rules that need no shell: which record the shell understands and how long a
// tooltip may be.

#include <cstdint>
#include <string>
#include <string_view>

namespace zovrel::ui {

// The shell library's version (DllGetVersion), reduced to the record generations it accepts:
// 0 none or older than 5, 1 shell 5, 2 shell 6.0 before build 6000, 3 later 6.0 builds,
// 4 shell 6.1 and newer.
int ShellVersionFromDll(bool hasVersion, uint32_t major, uint32_t minor, uint32_t build);

// The size in bytes of the 64-bit notification-icon record for that generation.
uint32_t NotifyRecordSize(int shellVersion);

// The longest tooltip the record holds, terminator excluded: 127 characters, 63 for the oldest
// record, whose tooltip field is half as long.
size_t TooltipLimit(int shellVersion);

// The tooltip cut to `limit` UTF-16 units, never through the middle of a surrogate pair.
std::wstring CutTooltip(std::wstring_view tooltip, size_t limit);

}  // namespace zovrel::ui
