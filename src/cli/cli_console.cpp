#include "cli/cli_console.h"

#include <cstdio>

#include "base/text.h"

namespace zovrel {
namespace {

// Flushed after every write so a script reading the pipe sees each line as it happens.
void Write(FILE* stream, const std::wstring& text, bool newline) {
    std::string bytes = ToUtf8(text);
    if (newline)
        bytes += '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void WriteStdoutLine(const std::wstring& line) {
    Write(stdout, line, true);
}
void WriteStderrLine(const std::wstring& line) {
    Write(stderr, line, true);
}
void WriteStdout(const std::wstring& text) {
    Write(stdout, text, false);
}
void WriteStderr(const std::wstring& text) {
    Write(stderr, text, false);
}

}  // namespace zovrel
