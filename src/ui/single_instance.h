#pragma once

// How a second start of the program recognises the first: one named mutex per session, and the
// running instance's main window found by its window class in another process, hidden or not.
// A title is never used: any program (a folder window, a browser tab) can carry "zovrel".

#include <string_view>

namespace zovrel::ui {

inline constexpr wchar_t INSTANCE_MUTEX_NAME[] = L"zovrel Is Now Running";
// The main window's class; every version's main window has it and answers WM_SHOW_MAIN.
inline constexpr wchar_t MAIN_WINDOW_CLASS[] = L"ZovrelMainWnd";

// A top-level window is taken for the running instance when it belongs to another process and
// has the main window's class (compared exactly, as the class was registered). Visibility does
// not count: the running copy usually sits hidden in the tray.
bool IsRunningInstanceWindow(bool otherProcess, std::wstring_view className);

}  // namespace zovrel::ui
