#pragma once

#include <optional>
#include <string>

namespace zovrel {

// The three settings in "zovrel.ini", section "Settings". Nothing is cached: every call reads
// or writes the file anew, so one caller's change is seen by the next. A missing, unreadable or
// garbled file reads as the defaults (empty port, off, off); writers return false on failure.

// Trimmed; at most 511 characters (UTF-16 code units) are read.
std::wstring ReadUartComPort();
bool WriteUartComPort(const std::wstring& port);

bool ReadUartDebugLog();
bool WriteUartDebugLog(bool on);

bool ReadAutostart();
bool WriteAutostart(bool on);

// A text setting as stored (trimmed); none when the key is absent. The hotkeys
// ("HotkeyShow", "HotkeySend") are read this way: absent means the default, empty means none.
std::optional<std::wstring> ReadSettingText(const wchar_t* key);
bool WriteSettingText(const wchar_t* key, const std::wstring& value);

// "NotifyOnReceive": a tray notification for what the device sends. On when absent.
bool ReadNotifyOnReceive();
bool WriteNotifyOnReceive(bool on);

// The main window's rectangle as the keys WindowLeft, WindowTop, WindowWidth and WindowHeight
// hold it (96-DPI pixels); a missing key is none. The texts are checked by whoever uses them.
struct WindowPlacementTexts {
    std::optional<std::wstring> left, top, width, height;
};
WindowPlacementTexts ReadWindowPlacement();
// All four keys in one write.
bool WriteWindowPlacement(int left, int top, int width, int height);

}  // namespace zovrel
