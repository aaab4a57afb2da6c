#include <gtest/gtest.h>

#include <map>

#include "ui/about_text.h"

namespace zovrel::ui {
namespace {

TEST(AboutText, VersionFromFirstLine) {
    struct Case {
        std::string bytes;
        std::wstring version;
    };
    const Case cases[] = {
        {"  1.2.3 \t\r\nignored\n", L"1.2.3"},
        {" \tV3.1\r\n", L"3.1"},  // trimmed before the letter is dropped
        {"vv1", L"v1"},           // one letter only
        {"\xEF\xBB\xBF"
         "5.0.0\r\n",
         L"5.0.0"},        // saved with a byte-order mark
        {"\n1.0.1", L""},  // an empty first line is no version
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(VersionFromFileText(c.bytes), c.version);
    }
    EXPECT_EQ(VersionLine(L"0.9.0"), L"版本 0.9.0");
}

TEST(AboutText, VersionFileBesideThenParentThenDefault) {
    const std::wstring exe = L"C:\\Program Files\\zovrel\\bin\\zovrel.exe";
    const std::wstring beside = L"C:\\Program Files\\zovrel\\bin\\version";
    const std::wstring parent = L"C:\\Program Files\\zovrel\\bin\\..\\version";
    struct Case {
        const char* name;
        std::map<std::wstring, std::string> files;
        std::wstring version;
    };
    const Case cases[] = {
        {"beside wins", {{beside, "1.1.0\n"}, {parent, "2.2.0\n"}}, L"1.1.0"},
        {"empty first line beside", {{beside, "\n1.1.0"}, {parent, "v2.2.0"}}, L"2.2.0"},
        {"none", {}, L"1.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> asked;
        const auto read = [&](const std::wstring& path) -> std::optional<std::string> {
            asked.push_back(path);
            const auto found = c.files.find(path);
            return found == c.files.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(ReadVersionFor(exe, read), c.version);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), beside);
    }
}

TEST(AboutText, LinkTargets) {
    struct Case {
        std::wstring text;
        std::wstring target;
    };
    const Case cases[] = {
        {L"https://user@host.example/x", L"https://user@host.example/x"},  // has "://"
        {L"mailto:a@b.example", L"mailto:a@b.example"},  // already an address link
        {L"a@b", L"mailto:a@b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinkTarget(c.text), c.target);
    }
}

}  // namespace
}  // namespace zovrel::ui
