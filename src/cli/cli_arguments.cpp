#include "cli/cli_arguments.h"

#include "base/text.h"

namespace zovrel {
namespace {

// Largest accepted --seconds and --entry value; anything above is surely a typo.
constexpr uint64_t MAX_NUMBER = 1000000000;

bool ParseNumber(const std::wstring& text, uint32_t& value) {
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (number > MAX_NUMBER)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool Fail(std::wstring& error, std::wstring text) {
    error = std::move(text);
    return false;
}

const wchar_t* CommandName(CliCommand command) {
    switch (command) {
        case CliCommand::PORTS:
            return L"ports";
        case CliCommand::LISTEN:
            return L"listen";
        case CliCommand::SEND:
            return L"send";
        case CliCommand::HISTORY:
            return L"history";
        default:
            return L"";
    }
}

}  // namespace

bool ParseCliArguments(const std::vector<std::wstring>& args, CliArguments& parsed,
                       std::wstring& error) {
    parsed = CliArguments{};
    error.clear();
    for (const std::wstring& arg : args) {
        if (arg == L"-h" || arg == L"--help") {
            parsed.command = CliCommand::HELP;
            return true;
        }
    }

    bool haveDataRoot = false, havePort = false, haveSeconds = false;
    int sources = 0;
    std::wstring entryText;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
            if (arg != L"--data-root" && arg != L"--port" && arg != L"--seconds" &&
                arg != L"--text" && arg != L"--file" && arg != L"--image" && arg != L"--entry")
                return Fail(error, FormatText(L"unknown option %ls", arg.c_str()));
            if (i + 1 >= args.size())
                return Fail(error, FormatText(L"option %ls needs a value", arg.c_str()));
            const std::wstring& value = args[++i];
            auto once = [&](bool& seen) {
                if (seen)
                    return Fail(error, FormatText(L"option %ls given twice", arg.c_str()));
                seen = true;
                return true;
            };
            if (arg == L"--data-root") {
                if (!once(haveDataRoot))
                    return false;
                if (TrimText(value).empty())
                    return Fail(error, L"--data-root needs a folder");
                parsed.dataRoot = value;
            } else if (arg == L"--port") {
                if (!once(havePort))
                    return false;
                parsed.port = TrimText(value);
                if (parsed.port.empty())
                    return Fail(error, L"--port needs a port name");
            } else if (arg == L"--seconds") {
                if (!once(haveSeconds))
                    return false;
                uint32_t seconds = 0;
                if (!ParseNumber(value, seconds))
                    return Fail(error, FormatText(L"--seconds takes a whole number, not \"%ls\"",
                                                  value.c_str()));
                parsed.seconds = seconds;
            } else {
                // Several --file options make one entry of several files, as a copy would.
                const bool moreFiles = arg == L"--file" && parsed.source == SendSource::FILE;
                if (!moreFiles && ++sources > 1)
                    return Fail(error,
                                L"send takes exactly one of --text, --file, --image, --entry");
                if (arg == L"--text") {
                    parsed.source = SendSource::TEXT;
                    parsed.sendValue = value;
                } else if (arg == L"--entry") {
                    uint32_t index = 0;
                    if (!ParseNumber(value, index))
                        return Fail(error, FormatText(L"--entry takes an entry index, not \"%ls\"",
                                                      value.c_str()));
                    parsed.source = SendSource::ENTRY;
                    parsed.entryIndex = static_cast<int>(index);
                } else {
                    if (value.empty())
                        return Fail(error, FormatText(L"%ls needs a path", arg.c_str()));
                    if (arg == L"--file") {
                        parsed.source = SendSource::FILE;
                        parsed.files.push_back(value);
                    } else {
                        parsed.source = SendSource::IMAGE;
                        parsed.sendValue = value;
                    }
                }
            }
            continue;
        }
        if (parsed.command != CliCommand::NONE)
            return Fail(error, FormatText(L"unexpected argument \"%ls\"", arg.c_str()));
        if (arg == L"ports")
            parsed.command = CliCommand::PORTS;
        else if (arg == L"listen")
            parsed.command = CliCommand::LISTEN;
        else if (arg == L"send")
            parsed.command = CliCommand::SEND;
        else if (arg == L"history")
            parsed.command = CliCommand::HISTORY;
        else
            return Fail(error, FormatText(L"unknown command \"%ls\"", arg.c_str()));
    }

    const wchar_t* name = CommandName(parsed.command);
    switch (parsed.command) {
        case CliCommand::NONE:
            return Fail(error, L"no command given");
        case CliCommand::PORTS:
        case CliCommand::HISTORY:
            if (havePort || haveSeconds || sources > 0)
                return Fail(error, FormatText(L"%ls takes no options but --data-root", name));
            return true;
        case CliCommand::LISTEN:
            if (!havePort)
                return Fail(error, L"listen needs --port");
            if (sources > 0)
                return Fail(error,
                            L"listen sends nothing: --text, --file, --image and --entry "
                            L"belong to send");
            return true;
        case CliCommand::SEND:
            if (!havePort)
                return Fail(error, L"send needs --port");
            if (haveSeconds)
                return Fail(error, L"--seconds belongs to listen");
            if (sources == 0)
                return Fail(error, L"send takes exactly one of --text, --file, --image, --entry");
            return true;
        default:
            return true;
    }
}

std::wstring CliUsageText() {
    return L"usage:\n"
           L"  zovrel-cli [--data-root DIR] ports\n"
           L"  zovrel-cli [--data-root DIR] --port NAME listen [--seconds N]\n"
           L"  zovrel-cli [--data-root DIR] --port NAME send (--text TEXT | --file PATH "
           L"[--file PATH ...] | --image PATH | --entry N)\n"
           L"  zovrel-cli [--data-root DIR] history\n";
}

}  // namespace zovrel
