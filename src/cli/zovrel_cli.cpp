// zovrel-cli: the program's serial link and transfer engine without the window, for scripts,
// tests and machines without the tray program.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "cli/cli_arguments.h"
#include "cli/cli_console.h"
#include "cli/cli_format.h"
#include "cli/cli_notifier.h"
#include "cli/cli_send_entry.h"
#include "clipboard/history_store.h"
#include "serial/port_enumeration.h"
#include "serial/serial_link.h"
#include "settings/data_root.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {
namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr uint32_t POLL_MS = 50;

CliNotifier MakeNotifier() {
    return CliNotifier(WriteStdoutLine, WriteStderrLine);
}

// The link as the program runs it, except that its port is the one given here: the saved
// `UartComPort` is neither read nor changed.
SerialLink::Options LinkOptions(const std::wstring& port) {
    SerialLink::Options options;
    options.configuredPort = [port] { return port; };
    return options;
}

void AddReceivedToHistory(CliNotifier& notifier, uint32_t waitMs) {
    for (const ClipboardEntry& entry : notifier.TakeReceivedEntries(waitMs))
        GetHistoryStore().AddEntry(entry);
}

int RunPorts() {
    for (const PortInfo& port : EnumeratePorts())
        WriteStdoutLine(FormatPortLine(port));
    return EXIT_OK;
}

int RunHistory() {
    const std::vector<ClipboardEntry> entries = GetHistoryStore().GetEntries();
    for (size_t i = 0; i < entries.size(); ++i)
        WriteStdoutLine(FormatHistoryLine(static_cast<int>(i), entries[i]));
    return EXIT_OK;
}

int RunListen(const CliArguments& arguments) {
    GetHistoryStore();  // loaded before the port opens, so the first transfer does not wait
    CliNotifier notifier = MakeNotifier();
    SerialLink link(&notifier, LinkOptions(arguments.port));
    TransferProtocol& engine = GetTransferProtocol();
    engine.Attach(&notifier, &link);
    // A port that does not open yet is retried by the reader, as in the program.
    link.Open(arguments.port);

    // A steady clock rather than the 32-bit tick count, which would wrap on very long runs.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(arguments.seconds.value_or(0));
    while (!StopRequested()) {
        if (arguments.seconds && std::chrono::steady_clock::now() >= deadline)
            break;
        AddReceivedToHistory(notifier, POLL_MS);
    }

    link.Close();
    AddReceivedToHistory(notifier, 0);  // a transfer that finished in the last moment
    engine.Detach();
    MarkShutdownComplete();
    return EXIT_OK;
}

int RunSend(const CliArguments& arguments) {
    ClipboardEntry entry;
    std::wstring error;
    if (arguments.source == SendSource::ENTRY) {
        auto stored = GetHistoryStore().GetEntryAt(arguments.entryIndex);
        if (!stored) {
            WriteStderrLine(FormatText(L"the history has no entry %d", arguments.entryIndex));
            return EXIT_FAILED;
        }
        entry = std::move(*stored);
    } else if (!BuildSendEntry(arguments, entry, error)) {
        WriteStderrLine(error);
        return EXIT_FAILED;
    }

    CliNotifier notifier = MakeNotifier();
    SerialLink link(&notifier, LinkOptions(arguments.port));
    TransferProtocol& engine = GetTransferProtocol();
    engine.Attach(&notifier, &link);
    bool sent = false;
    if (!link.Open(arguments.port)) {
        error = FormatText(L"串口打开失败: %ls", arguments.port.c_str());
    } else {
        // Ctrl+C cancels the transfer the way the window's cancel button does.
        std::atomic<bool> finished{false};
        std::thread canceller([&] {
            while (!finished.load()) {
                if (StopRequested()) {
                    engine.CancelSend();
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
            }
        });
        sent = engine.Send(entry, &notifier, error);
        finished.store(true);
        canceller.join();
    }
    link.Close();
    engine.Detach();
    MarkShutdownComplete();
    if (!sent) {
        WriteStderrLine(error.empty() ? std::wstring(L"发送失败") : error);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

}  // namespace

int RunCli(const std::vector<std::wstring>& args) {
    PrepareConsoleOutput();
    CliArguments arguments;
    std::wstring error;
    if (!ParseCliArguments(args, arguments, error)) {
        WriteStderrLine(L"zovrel-cli: " + error);
        WriteStderr(CliUsageText());
        return EXIT_USAGE;
    }
    if (arguments.command == CliCommand::HELP) {
        WriteStdout(CliUsageText());
        return EXIT_OK;
    }
    if (!arguments.dataRoot.empty()) {
        const std::wstring root = AbsolutePath(arguments.dataRoot);
        if (!EnsureFolderExists(root)) {
            WriteStderrLine(FormatText(L"zovrel-cli: cannot use the data root %ls", root.c_str()));
            return EXIT_FAILED;
        }
        SetDataRootForProcess(root);
    }
    InstallStopHandlers();
    switch (arguments.command) {
        case CliCommand::PORTS:
            return RunPorts();
        case CliCommand::HISTORY:
            return RunHistory();
        case CliCommand::LISTEN:
            return RunListen(arguments);
        case CliCommand::SEND:
            return RunSend(arguments);
        default:
            return EXIT_USAGE;
    }
}

}  // namespace zovrel

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return zovrel::RunCli(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(zovrel::FromUtf8(argv[i]));
    return zovrel::RunCli(args);
}
#endif
