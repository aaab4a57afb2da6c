// The settings file's stamp, which decides whether the saved port is read again.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ui/saved_port_reader.h"

namespace zovrel::ui {
namespace {

bool WriteFile(const std::wstring& path, const char* text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == strlen(text);
}

TEST(FileStampTest, SizeAndTimeOfARealFileAndNoneWhenMissing) {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    const std::wstring path =
        std::wstring(base) + L"zovrel-stamp-" + std::to_wstring(::GetCurrentProcessId()) + L".ini";
    ::DeleteFileW(path.c_str());

    EXPECT_EQ(StampOfFile(path), std::nullopt);
    ASSERT_TRUE(WriteFile(path, "[Settings]\r\nUartComPort=COM3\r\n"));
    const std::optional<FileStamp> first = StampOfFile(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size, 30u);
    EXPECT_NE(first->modified, 0);
    EXPECT_EQ(StampOfFile(path), first);

    // A later write of the same size shows in the time stamp.
    FILETIME later{};
    later.dwLowDateTime = static_cast<DWORD>(first->modified) + 10000000;  // one second on
    later.dwHighDateTime = static_cast<DWORD>(first->modified >> 32);
    ASSERT_TRUE(WriteFile(path, "[Settings]\r\nUartComPort=COM4\r\n"));
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetFileTime(file, nullptr, nullptr, &later);
    ::CloseHandle(file);
    const std::optional<FileStamp> second = StampOfFile(path);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->size, first->size);
    EXPECT_NE(second, first);

    ::DeleteFileW(path.c_str());
    EXPECT_EQ(StampOfFile(path), std::nullopt);
}

}  // namespace
}  // namespace zovrel::ui
