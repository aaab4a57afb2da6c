// The saved port as the serial link asks for it: the value read last, unless asked afresh.

#include <gtest/gtest.h>

#include <string>

#include "ui/saved_port_reader.h"

namespace zovrel::ui {
namespace {

TEST(SavedPortReaderTest, ReadsTheFileOnlyWhenAskedAfreshOrTheFirstTime) {
    std::wstring saved = L"COM3";
    int reads = 0;
    SavedPortReader reader([&] { return ++reads, saved; });

    // What is saved now, whether the call asks afresh, what it gets, and the reads so far.
    const std::tuple<const char*, const wchar_t*, bool, const wchar_t*, int> steps[] = {
        {"the first call reads even when not asked afresh", L"COM3", false, L"COM3", 1},
        {"a new port saved, then opened: read afresh", L"COM12", true, L"COM12", 2},
        {"an edit by hand waits for the next fresh read", L"", false, L"COM12", 2},
        {"reconnecting while closed reads afresh", L"", true, L"", 3},
        {"and keeps that", L"COM5", false, L"", 3},
    };
    for (const auto& [what, content, fresh, expected, readsSoFar] : steps) {
        saved = content;
        EXPECT_EQ(reader.Read(fresh), expected) << what;
        EXPECT_EQ(reads, readsSoFar) << what;
    }
}

}  // namespace
}  // namespace zovrel::ui
