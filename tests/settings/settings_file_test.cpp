#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

class SettingsFile : public ::testing::Test {
  protected:
    void WriteIni(const std::string& bytes) { test::WriteFileBytes(GetSettingsFilePath(), bytes); }
    test::TempDataRoot root_;
};

TEST_F(SettingsFile, DefaultsWithoutAFileThenWritesTheProfileFormat) {
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog());
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(PathExists(GetSettingsFilePath()));  // reading creates nothing

    ASSERT_TRUE(WriteUartComPort(L"  COM3 "));
    ASSERT_TRUE(WriteUartDebugLog(true));
    ASSERT_TRUE(WriteAutostart(false));
    EXPECT_EQ(test::ReadFileBytes(GetSettingsFilePath()),
              "[Settings]\r\nUartComPort=COM3\r\nUartDebugLog=1\r\nAutostart=0\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM3");
    EXPECT_TRUE(ReadUartDebugLog());
    ASSERT_TRUE(WriteUartComPort(L"串口 USB"));
    EXPECT_EQ(ReadUartComPort(), L"串口 USB");
}

TEST_F(SettingsFile, ReadsHandEditedValuesAnewOnEveryCall) {
    WriteIni("[settings]\r\n uartcomport =   COM7   \r\nUartDebugLog=2\r\nAutostart=yes\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM7");
    EXPECT_TRUE(ReadUartDebugLog());  // any non-zero number is on
    EXPECT_FALSE(ReadAutostart());    // not a number: 0
    WriteIni("[Settings]\nUartComPort=" + std::string(600, 'P') + "\nAutostart=-1\n");
    EXPECT_EQ(ReadUartComPort(), std::wstring(511, L'P'));
    EXPECT_TRUE(ReadAutostart());
}

TEST_F(SettingsFile, GarbageReadsAsDefaultsAndUnusableFilesFailWrites) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    WriteIni(garbage);
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog());

    std::filesystem::remove(PathFromText(GetSettingsFilePath()));
    test::MakeFolder(GetSettingsFilePath());  // a folder where the file should be
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(WriteUartComPort(L"COM3"));

    test::WriteFileBytes(root_ / L"blocker", "");  // a root below a file cannot exist
    SetDataRootForProcess(root_ / L"blocker" + kPathSeparator + L"root");
    EXPECT_FALSE(WriteUartDebugLog(true));
    EXPECT_FALSE(ReadUartDebugLog());
}

}  // namespace
}  // namespace zovrel
