#include "ui/notice_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "support/test_support.h"

namespace zovrel::ui {
namespace {

TEST(NoticeRules, DeviceTextShowsItsFirstLineCleanAndCut) {
    const std::wstring rlo(1, static_cast<wchar_t>(0x202E));
    const std::wstring nel(1, static_cast<wchar_t>(0x85));
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"\n  \r\n\t second \n third", L"second"},  // the first line that is not blank
        {L"a\tb\x1B[31mc\x7F", L"ab[31mc"},          // control characters go
        {L"invoice" + rlo + L"fdp.exe", L"invoicefdp.exe"},
        {L"one" + nel + L"two", L"one"},
        {L"\r\n \x01 \n", L""},
    };
    for (const auto& [text, line] : cases) {
        EXPECT_EQ(NoticeLine(text), line) << ToUtf8(text);
    }
    EXPECT_EQ(NoticeLine(std::wstring(300, L'字') + L"\nnext"), std::wstring(255, L'字'));
}

TEST(NoticeRules, WhatArrivedAndHowASendEnded) {
    const auto line = [](const Notice& n) { return n.title + L": " + n.text; };
    // A blank text still gets a balloon: one without text would not show.
    EXPECT_EQ(line(ReceivedNotice(test::TextEntry(L" \r\n "))), L"收到文本: （空白）");
    EXPECT_EQ(line(ReceivedNotice(test::ImageEntry(Bytes(3 * 1048576 / 2)))), L"收到图片: 1.5 MB");
    const Notice file =
        ReceivedNotice(test::FilesEntry({L"C:\\data\\files\\2026-12-07\\report (2).txt"}));
    EXPECT_EQ(line(file), L"收到文件: report (2).txt");
    EXPECT_EQ(file.folder, L"C:\\data\\files\\2026-12-07");  // a click opens it
    EXPECT_EQ(line(SendResultNotice(false, L"串口未连接")), L"发送失败: 串口未连接");
}

}  // namespace
}  // namespace zovrel::ui
