#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/text.h"

namespace zovrel {
namespace {

const std::wstring BAD(1, static_cast<wchar_t>(0xFFFD));

TEST(Utf8, RoundTripsChineseAndAstralCharacters) {
    const std::string utf8 = "\xE4\xB8\xB2\xE5\x8F\xA3 abc \xF0\x9F\x98\x80";
    EXPECT_EQ(FromUtf8(utf8), L"串口 abc \U0001F600");
    EXPECT_EQ(ToUtf8(FromUtf8(utf8)), utf8);
    EXPECT_EQ(Utf16Length(FromUtf8(utf8)), 9u);  // the emoji is one surrogate pair
    std::wstring lone = L"x";
    lone += static_cast<wchar_t>(0xD800);
    EXPECT_EQ(ToUtf8(lone), "x\xEF\xBF\xBD");
}

TEST(Utf8, InvalidInputBecomesReplacementCharacters) {
    // Each maximal ill-formed subpart is one U+FFFD; decoding resumes at the next lead byte.
    EXPECT_EQ(FromUtf8(std::string("a\xFFz")), L"a" + BAD + L"z");
    EXPECT_EQ(FromUtf8(std::string("\xE4\xB8z")), BAD + L"z");          // cut short
    EXPECT_EQ(FromUtf8(std::string("\xC0\xAF")), BAD + BAD);            // overlong
    EXPECT_EQ(FromUtf8(std::string("\xED\xA0\x80")), BAD + BAD + BAD);  // encoded surrogate
    EXPECT_EQ(FromUtf8(std::string("\xF4\x90\x80\x80")), BAD + BAD + BAD + BAD);
    EXPECT_EQ(FromUtf8("a\0b", 3).size(), 3u);  // zero bytes are characters
    EXPECT_EQ(FromUtf8(nullptr, 5), L"");
    EXPECT_EQ(FromUtf8("abc", -1), L"");
}

TEST(Text, TrimCompareAndFormat) {
    EXPECT_EQ(TrimText(std::wstring_view(L" \t COM3 \r\n")), L"COM3");
    EXPECT_EQ(TrimText(std::wstring_view(L"   ")), L"");
    EXPECT_EQ(TrimText(std::string_view("  a b ")), "a b");
    EXPECT_TRUE(EqualsIgnoreCase(L"com3", L"COM3"));
    EXPECT_FALSE(EqualsIgnoreCase(L"com3", L"COM30"));
    EXPECT_EQ(FormatText(L"%ls @ %lu bps %02X %d%%", L"COM5", 2000000ul, 0xABu, 5),
              L"COM5 @ 2000000 bps AB 5%");
    const std::wstring longText(5000, L'字');  // past the first buffer
    EXPECT_EQ(FormatText(L"[%ls]", longText.c_str()).size(), 5002u);
}

TEST(Text, LeadingNumbersSaturateAndTheUnsignedFormWraps) {
    EXPECT_EQ(ParseLeadingInt64(L" \t-42abc"), -42);
    EXPECT_EQ(ParseLeadingInt64(L"- 5"), 0);
    EXPECT_EQ(ParseLeadingInt64(L"9223372036854775808"), INT64_MAX);
    EXPECT_EQ(ParseLeadingInt64(L"-99999999999999999999999"), INT64_MIN);
    EXPECT_EQ(ParseLeadingInt(L"-2147483649"), INT_MIN);
    EXPECT_EQ(ParseLeadingUInt32(L"-4294967295"), 1u);
    EXPECT_EQ(ParseLeadingUInt32(L"-4294967296"), UINT32_MAX);
}

TEST(Text, BidiControlsAreRemovedAndTheirNeighboursKept) {
    // Each range's first and last member goes; the characters just outside stay.
    EXPECT_EQ(RemoveBidiControls(L"a\u2029\u202A\u202E\u202Fb\u2065\u2066\u2069\u206Ac"),
              L"a\u2029\u202Fb\u2065\u206Ac");
    EXPECT_EQ(RemoveBidiControls(L"invoice\u202Efdp.exe"), L"invoicefdp.exe");
    EXPECT_EQ(RemoveBidiControls(L"\u2067\u2068"), L"");
}

}  // namespace
}  // namespace zovrel
