#include "ui/notice_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

namespace zovrel::ui {
namespace {

TEST(NoticeRules, DeviceTextShowsItsFirstLineCleanAndCut) {
    const std::wstring rlo(1, static_cast<wchar_t>(0x202E));
    const std::wstring nel(1, static_cast<wchar_t>(0x85));
    const struct {
        std::wstring text, line;
    } cases[] = {
        {L"第一行\r\n第二行", L"第一行"},
        {L"\n  \r\n\t second \n third", L"second"},  // the first line that is not blank
        {L"a\tb\x1B[31mc\x7F", L"ab[31mc"},          // control characters go
        {L"invoice" + rlo + L"fdp.exe", L"invoicefdp.exe"},
        {L"one" + nel + L"two", L"one"},
        {L"\r\n \x01 \n", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NoticeLine(c.text), c.line) << ToUtf8(c.text);
    }
    EXPECT_EQ(NoticeLine(std::wstring(300, L'字') + L"\nnext"), std::wstring(255, L'字'));
}

TEST(NoticeRules, WhatArrivedAndHowASendEnded) {
    ClipboardEntry text;
    text.kind = ENTRY_KIND_TEXT;
    text.text = L"\r\n  hello\r\nworld";
    const Notice received = ReceivedNotice(text);
    EXPECT_EQ(received.title, L"收到文本");
    EXPECT_EQ(received.text, L"hello");
    EXPECT_EQ(received.folder, L"");
    text.text = L" \r\n ";
    EXPECT_EQ(ReceivedNotice(text).text, L"（空白）");  // a balloon needs a text

    ClipboardEntry image;
    image.kind = ENTRY_KIND_IMAGE;
    image.dataSize = 3 * 1048576 / 2;
    EXPECT_EQ(ReceivedNotice(image).title, L"收到图片");
    EXPECT_EQ(ReceivedNotice(image).text, L"1.5 MB");

    ClipboardEntry file;
    file.kind = ENTRY_KIND_FILES;
    file.files = {L"C:\\data\\files\\2026-12-07\\report (2).txt"};
    const Notice arrived = ReceivedNotice(file);
    EXPECT_EQ(arrived.title, L"收到文件");
    EXPECT_EQ(arrived.text, L"report (2).txt");
    EXPECT_EQ(arrived.folder, L"C:\\data\\files\\2026-12-07");  // a click opens it

    EXPECT_EQ(ReceiveFailedNotice().title, L"接收失败");
    EXPECT_EQ(SendResultNotice(true, EntrySummary(text)).title, L"已发送到设备");
    const Notice failed = SendResultNotice(false, L"串口未连接");
    EXPECT_EQ(failed.title + L": " + failed.text, L"发送失败: 串口未连接");
    EXPECT_EQ(SendingTooltip(L"2/3 45%"), L"zovrel - 正在发送 2/3 45%");
}

}  // namespace
}  // namespace zovrel::ui
