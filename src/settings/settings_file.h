#pragma once

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

}  // namespace zovrel
