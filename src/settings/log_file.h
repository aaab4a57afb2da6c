#pragma once

#include <cstdint>
#include <string>

#include "base/local_time.h"

namespace zovrel {

// Appends one line to today's log file, data root + "logs" + "zovrel-YYYYMMDD.log" (the data
// root itself when "logs" cannot be made). A new file starts with the UTF-8 byte-order mark;
// each line is UTF-8 followed by CR LF. Empty texts are ignored; a line whose file cannot be
// opened is dropped. Any thread; the process-wide lock taken here is the innermost lock.
void AppendToLogFile(const std::wstring& text);
// The same with the local date given, for tests that cross midnight.
void AppendToLogFileAt(const std::wstring& text, const LocalTime& now);

// The full path a line of that date goes to (creates the "logs" folder when missing).
std::wstring LogFilePath(const LocalTime& date);

// "hh:mm:ss.mmm" of a local wall-clock time, milliseconds included, so that lines written one
// after the other never show times that run backwards.
std::wstring FormatLogTimestamp(const LocalTime& now);
std::wstring FormatLogTimestamp();

}  // namespace zovrel
