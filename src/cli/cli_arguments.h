#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zovrel {

enum class CliCommand { NONE, HELP, PORTS, LISTEN, SEND, HISTORY };

// What `send` sends: a text given on the command line, a file, an image file, or a history entry.
enum class SendSource { NONE, TEXT, FILE, IMAGE, ENTRY };

struct CliArguments {
    CliCommand command = CliCommand::NONE;
    std::wstring dataRoot;            // empty: the program's own data root
    std::wstring port;                // listen and send
    std::optional<uint32_t> seconds;  // listen: run this long; none: until stopped
    SendSource source = SendSource::NONE;
    std::wstring sendValue;           // the text, or the path of the image
    std::vector<std::wstring> files;  // --file, given once or more: the paths in order
    int entryIndex = -1;     // SendSource::ENTRY
};

// Parses the arguments after the program name. False with a one-line reason on a usage error;
// "-h" or "--help" anywhere gives CliCommand::HELP.
bool ParseCliArguments(const std::vector<std::wstring>& args, CliArguments& parsed,
                       std::wstring& error);

// The usage text, several lines, ending in a line break.
std::wstring CliUsageText();

}  // namespace zovrel
