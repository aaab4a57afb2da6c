#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/text.h"

namespace zovrel {
namespace {

std::string Hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

TEST(Utf8, RoundTripsChineseAndAstralCharacters) {
    const std::wstring text = FromUtf8(std::string("串口 abc \xF0\x9F\x98\x80"));
    EXPECT_EQ(Hex(ToUtf8(text)), "E4B8B2E58FA320616263"
                                 "20F09F9880");
    EXPECT_EQ(Utf16Length(text), 9u);  // two CJK, blank, abc, blank, one surrogate pair
    EXPECT_EQ(ToUtf8(L"串口已打开"), "串口已打开");
}

TEST(Utf8, NullOrNonPositiveCountGivesEmptyText) {
    EXPECT_EQ(FromUtf8(nullptr, 5), L"");
    EXPECT_EQ(FromUtf8("abc", 0), L"");
    EXPECT_EQ(FromUtf8("abc", -1), L"");
    EXPECT_EQ(ToUtf8(L""), "");
}

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
    // Each maximal ill-formed subpart is one U+FFFD; the decoder resumes at the next lead byte.
    const std::wstring fffd(1, static_cast<wchar_t>(0xFFFD));
    EXPECT_EQ(FromUtf8(std::string("a\xFF" "b")), L"a" + fffd + L"b");
    EXPECT_EQ(FromUtf8(std::string("\xE4\xB8")), fffd);                   // cut short
    EXPECT_EQ(FromUtf8(std::string("\xE4\xB8" "a")), fffd + L"a");
    EXPECT_EQ(FromUtf8(std::string("\xC0\xAF")), fffd + fffd);            // overlong
    EXPECT_EQ(FromUtf8(std::string("\xED\xA0\x80")), fffd + fffd + fffd);  // encoded surrogate
    EXPECT_EQ(FromUtf8(std::string("\xF4\x90\x80\x80")), fffd + fffd + fffd + fffd);
    // Embedded zero bytes are kept as characters.
    EXPECT_EQ(FromUtf8("a\0b", 3).size(), 3u);
}

TEST(Utf8, LoneSurrogateInWideTextEncodesAsReplacement) {
    std::wstring text = L"x";
    text += static_cast<wchar_t>(0xD800);
    EXPECT_EQ(Hex(ToUtf8(text)), "78EFBFBD");
}

TEST(Text, TrimAndCompare) {
    EXPECT_EQ(TrimText(std::wstring_view(L" \t COM3 \r\n")), L"COM3");
    EXPECT_EQ(TrimText(std::wstring_view(L"   ")), L"");
    EXPECT_EQ(TrimText(std::string_view("  a b ")), "a b");
    EXPECT_TRUE(EqualsIgnoreCase(L"com3", L"COM3"));
    EXPECT_FALSE(EqualsIgnoreCase(L"com3", L"COM30"));
}

TEST(Text, FormatGrowsPastItsFirstBuffer) {
    EXPECT_EQ(FormatText(L"%ls @ %lu bps", L"COM5", 2000000ul), L"COM5 @ 2000000 bps");
    EXPECT_EQ(FormatText(L"%02X %d%%", 0xABu, 5), L"AB 5%");
    const std::wstring longText(5000, L'字');
    EXPECT_EQ(FormatText(L"[%ls]", longText.c_str()).size(), 5002u);
}

TEST(Text, LeadingNumbersSaturateAndTheUnsignedFormWraps) {
    EXPECT_EQ(ParseLeadingInt64(L" \t-42abc"), -42);
    EXPECT_EQ(ParseLeadingInt64(L"+7"), 7);
    EXPECT_EQ(ParseLeadingInt64(L"abc"), 0);
    EXPECT_EQ(ParseLeadingInt64(L"- 5"), 0);
    EXPECT_EQ(ParseLeadingInt64(L"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ParseLeadingInt64(L"9223372036854775808"), INT64_MAX);
    EXPECT_EQ(ParseLeadingInt64(L"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseLeadingInt64(L"-99999999999999999999999"), INT64_MIN);

    EXPECT_EQ(ParseLeadingInt(L"2147483648"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt(L"-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt(L"-2147483649"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt(L"-3"), -3);

    EXPECT_EQ(ParseLeadingUInt32(L"4294967295"), UINT32_MAX);
    EXPECT_EQ(ParseLeadingUInt32(L"4294967296"), UINT32_MAX);
    EXPECT_EQ(ParseLeadingUInt32(L"-1"), UINT32_MAX);
    EXPECT_EQ(ParseLeadingUInt32(L"-4294967295"), 1u);
    EXPECT_EQ(ParseLeadingUInt32(L"-4294967296"), UINT32_MAX);
    EXPECT_EQ(ParseLeadingUInt32(L"-99999999999999999999999"), UINT32_MAX);
}

}  // namespace
}  // namespace zovrel
