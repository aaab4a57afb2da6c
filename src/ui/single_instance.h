#pragma once

// How a second start of the program recognises the first: one named mutex per session, and the
// running instance's main window found by its title (never by the hidden host frame, whose title
// matches neither form).

#include <string_view>

namespace zovrel::ui {

inline constexpr wchar_t INSTANCE_MUTEX_NAME[] = L"zovrel Is Now Running";
// Titles are read into a buffer of this many characters, terminator included.
inline constexpr int INSTANCE_TITLE_BUFFER = 256;

// "zovrel" exactly, or "zovrel - " followed by anything (a page name).
bool IsRunningInstanceTitle(std::wstring_view title);

// A top-level window is taken for the running instance when it belongs to another process, is
// visible and carries one of the main window's titles.
bool IsRunningInstanceWindow(bool otherProcess, bool visible, std::wstring_view title);

}  // namespace zovrel::ui
