#pragma once

#include <string>

namespace zovrel {

// Standard output and error carry UTF-8 bytes unchanged (on Windows too, console or pipe).
void PrepareConsoleOutput();
// Writes the text as UTF-8 plus a line break and flushes, so a reader sees every line at once.
void WriteStdoutLine(const std::wstring& line);
void WriteStderrLine(const std::wstring& line);
// Writes the text as it is (already holding its line breaks).
void WriteStdout(const std::wstring& text);
void WriteStderr(const std::wstring& text);

// Ctrl+C, SIGTERM, a hang-up or the console window closing make StopRequested true.
void InstallStopHandlers();
bool StopRequested();
// Tells a console-close handler that the port is closed and the process may end. Windows ends
// the process as soon as that handler returns, so it waits for this (a few seconds at most).
void MarkShutdownComplete();

// The full path of a path given on the command line (relative to the working folder).
std::wstring AbsolutePath(const std::wstring& path);

}  // namespace zovrel
