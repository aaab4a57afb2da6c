// The saved port as the serial link's reader asks for it: read again only when the settings
// file changed, or when asked for a fresh value.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/saved_port_reader.h"

namespace zovrel::ui {
namespace {

TEST(SavedPortReaderTest, ReadsAgainOnlyWhenTheFileChangedOrWhenAskedFresh) {
    std::optional<FileStamp> stamp;  // the file is missing at first
    std::wstring saved;
    int reads = 0;
    SavedPortReader reader([&] { return ++reads, saved; }, [&] { return stamp; });

    struct Step {
        const char* what;
        std::optional<FileStamp> stamp;
        const wchar_t* content;
        bool fresh;
        const wchar_t* expected;
        int reads;
    };
    const Step steps[] = {
        {"first call reads", std::nullopt, L"", false, L"", 1},
        {"still missing: cached", std::nullopt, L"", false, L"", 1},
        {"file written", FileStamp{20, 100}, L"COM3", false, L"COM3", 2},
        {"unchanged", FileStamp{20, 100}, L"COM3", false, L"COM3", 2},
        {"unchanged, many passes", FileStamp{20, 100}, L"COM3", false, L"COM3", 2},
        {"fresh (port closed)", FileStamp{20, 100}, L"COM3", true, L"COM3", 3},
        {"rewritten, same size", FileStamp{20, 101}, L"COM4", false, L"COM4", 4},
        {"rewritten, same time", FileStamp{21, 101}, L"COM12", false, L"COM12", 5},
        {"port removed", FileStamp{12, 102}, L"", false, L"", 6},
        {"file deleted", std::nullopt, L"", false, L"", 7},
        // A change the stamp cannot see is picked up by the next fresh read.
        {"invisible change", std::nullopt, L"COM9", false, L"", 7},
        {"invisible change, fresh", std::nullopt, L"COM9", true, L"COM9", 8},
    };
    for (const Step& step : steps) {
        stamp = step.stamp;
        saved = step.content;
        EXPECT_EQ(reader.Read(step.fresh), step.expected) << step.what;
        EXPECT_EQ(reads, step.reads) << step.what;
    }
}

}  // namespace
}  // namespace zovrel::ui
