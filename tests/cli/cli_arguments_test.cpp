#include "cli/cli_arguments.h"

#include <gtest/gtest.h>

namespace zovrel {
namespace {

CliArguments Parse(std::vector<std::wstring> args) {
    CliArguments parsed;
    std::wstring error;
    EXPECT_TRUE(ParseCliArguments(args, parsed, error))
        << "error: " << std::string(error.begin(), error.end());
    return parsed;
}

TEST(CliArguments, AcceptsEachCommandWithItsOptionsInAnyOrder) {
    CliArguments ports = Parse({L"--data-root", L"/tmp/r", L"ports"});
    EXPECT_EQ(ports.command, CliCommand::kPorts);
    EXPECT_EQ(ports.dataRoot, L"/tmp/r");

    CliArguments listen = Parse({L"--port", L" COM7 ", L"listen", L"--seconds", L"30"});
    EXPECT_EQ(listen.command, CliCommand::kListen);
    EXPECT_EQ(listen.port, L"COM7");
    ASSERT_TRUE(listen.seconds.has_value());
    EXPECT_EQ(*listen.seconds, 30u);

    EXPECT_FALSE(Parse({L"listen", L"--port", L"/dev/pts/3"}).seconds.has_value());

    // The value of --text is taken as it is, even when it looks like an option.
    CliArguments text = Parse({L"--port", L"COM3", L"send", L"--text", L"--port 你好\n"});
    EXPECT_EQ(text.source, SendSource::kText);
    EXPECT_EQ(text.sendValue, L"--port 你好\n");

    EXPECT_EQ(Parse({L"--port", L"COM3", L"send", L"--file", L"a b.bin"}).source,
              SendSource::kFile);
    EXPECT_EQ(Parse({L"--port", L"COM3", L"send", L"--image", L"x.png"}).source,
              SendSource::kImage);
    CliArguments entry = Parse({L"send", L"--entry", L"0", L"--port", L"COM3"});
    EXPECT_EQ(entry.source, SendSource::kEntry);
    EXPECT_EQ(entry.entryIndex, 0);

    EXPECT_EQ(Parse({L"history"}).command, CliCommand::kHistory);
    EXPECT_EQ(Parse({L"send", L"--bogus", L"-h"}).command, CliCommand::kHelp);
    EXPECT_EQ(Parse({L"--help"}).command, CliCommand::kHelp);
}

TEST(CliArguments, RefusesWhatCannotBeMeant) {
    const std::vector<std::vector<std::wstring>> bad = {
        {},
        {L"--data-root", L"/tmp/r"},
        {L"frobnicate"},
        {L"ports", L"history"},
        {L"ports", L"--port", L"COM3"},
        {L"history", L"--seconds", L"3"},
        {L"listen"},
        {L"--port", L"   ", L"listen"},
        {L"--port", L"COM3", L"listen", L"--seconds"},
        {L"--port", L"COM3", L"listen", L"--seconds", L"-1"},
        {L"--port", L"COM3", L"listen", L"--seconds", L"1.5"},
        {L"--port", L"COM3", L"listen", L"--seconds", L"99999999999"},
        {L"--port", L"COM3", L"listen", L"--text", L"x"},
        {L"--port", L"COM3", L"--port", L"COM4", L"listen"},
        {L"--port", L"COM3", L"send"},
        {L"send", L"--text", L"x"},
        {L"--port", L"COM3", L"send", L"--text", L"x", L"--file", L"y"},
        {L"--port", L"COM3", L"send", L"--text", L"x", L"--seconds", L"2"},
        {L"--port", L"COM3", L"send", L"--file", L""},
        {L"--port", L"COM3", L"send", L"--entry", L"first"},
        {L"--data-root", L"", L"ports"},
        {L"--port", L"COM3", L"send", L"-t", L"x"},
        {L"ports", L"--verbose", L"1"},
    };
    for (const auto& args : bad) {
        CliArguments parsed;
        std::wstring error;
        std::string shown;
        for (const auto& a : args)
            shown += std::string(a.begin(), a.end()) + " ";
        EXPECT_FALSE(ParseCliArguments(args, parsed, error)) << shown;
        EXPECT_FALSE(error.empty()) << shown;
    }
}

TEST(CliArguments, UsageNamesEveryCommand) {
    const std::wstring usage = CliUsageText();
    for (const wchar_t* word : {L" ports", L" listen", L" send", L" history", L"--seconds",
                                L"--text", L"--file", L"--image", L"--entry", L"--data-root"})
        EXPECT_NE(usage.find(word), std::wstring::npos);
}

}  // namespace
}  // namespace zovrel
