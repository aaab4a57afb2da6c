#include <gtest/gtest.h>

#include <map>

#include "ui/about_text.h"

namespace zovrel::ui {
namespace {

TEST(AboutText, VersionFromTheFirstLineOfTheFileBesideThenAboveTheProgram) {
    const std::pair<std::string, std::wstring> texts[] = {
        {"  1.2.3 \t\r\nignored\n", L"1.2.3"},
        {" \tV3.1\r\n", L"3.1"},  // trimmed before the letter is dropped
        {"vv1", L"v1"},           // one letter only
        {"\xEF\xBB\xBF"
         "5.0.0\r\n",
         L"5.0.0"},        // saved with a byte-order mark
        {"\n1.0.1", L""},  // an empty first line is no version
    };
    for (const auto& [bytes, version] : texts) {
        EXPECT_EQ(VersionFromFileText(bytes), version) << bytes;
    }

    // The file beside the program wins; one without a version gives way; none: the default.
    const std::wstring beside = L"C:\\zovrel\\bin\\version";
    const std::wstring above = L"C:\\zovrel\\bin\\..\\version";
    const std::pair<std::map<std::wstring, std::string>, std::wstring> cases[] = {
        {{{beside, "1.1.0\n"}, {above, "2.2.0\n"}}, L"1.1.0"},
        {{{beside, "\n1.1.0"}, {above, "v2.2.0"}}, L"2.2.0"},
        {{}, FALLBACK_VERSION},
    };
    for (const auto& [files, version] : cases) {
        const auto read = [&](const std::wstring& path) -> std::optional<std::string> {
            const auto found = files.find(path);
            return found == files.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(ReadVersionFor(L"C:\\zovrel\\bin\\zovrel.exe", read), version);
    }
}

TEST(AboutText, LinkTargets) {
    EXPECT_EQ(LinkTarget(L"https://user@host.example/x"), L"https://user@host.example/x");
    EXPECT_EQ(LinkTarget(L"mailto:a@b.example"), L"mailto:a@b.example");  // already a mail link
    EXPECT_EQ(LinkTarget(L"a@b"), L"mailto:a@b");
}

}  // namespace
}  // namespace zovrel::ui
