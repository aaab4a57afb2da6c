#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "settings/data_root.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class SettingsFile : public ::testing::Test {
  protected:
    void WriteIni(const std::string& bytes) { WriteFileBytes(GetSettingsFilePath(), bytes); }
    test::TempDataRoot root_;
};

TEST_F(SettingsFile, MissingFileReadsDefaultsAndIsNotCreatedByReading) {
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog());
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(test::Exists(GetSettingsFilePath()));
}

TEST_F(SettingsFile, WritesTheFormatOtherToolsExpectAndReadsItBack) {
    ASSERT_TRUE(WriteUartComPort(L"  COM3 "));
    ASSERT_TRUE(WriteUartDebugLog(true));
    ASSERT_TRUE(WriteAutostart(false));
    EXPECT_EQ(ReadFileBytes(GetSettingsFilePath()),
              "[Settings]\r\nUartComPort=COM3\r\nUartDebugLog=1\r\nAutostart=0\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM3");
    EXPECT_TRUE(ReadUartDebugLog());
    EXPECT_FALSE(ReadAutostart());

    ASSERT_TRUE(WriteUartComPort(L"串口 USB"));
    EXPECT_EQ(ReadUartComPort(), L"串口 USB");
}

TEST_F(SettingsFile, ReadsHandEditedValues) {
    WriteIni("[settings]\r\n uartcomport =   COM7   \r\nUartDebugLog=2\r\nAutostart=yes\r\n");
    EXPECT_EQ(ReadUartComPort(), L"COM7");
    EXPECT_TRUE(ReadUartDebugLog());  // any non-zero number is on
    EXPECT_FALSE(ReadAutostart());    // not a number: 0

    WriteIni("[Settings]\nUartDebugLog=-1\nAutostart=0\n");
    EXPECT_TRUE(ReadUartDebugLog());
    EXPECT_FALSE(ReadAutostart());
}

TEST_F(SettingsFile, EveryCallSeesTheFileAsItIsNow) {
    ASSERT_TRUE(WriteUartComPort(L"COM1"));
    EXPECT_EQ(ReadUartComPort(), L"COM1");
    WriteIni("[Settings]\nUartComPort=COM9\n");
    EXPECT_EQ(ReadUartComPort(), L"COM9");
}

TEST_F(SettingsFile, OverLongPortIsCutAt511Characters) {
    WriteIni("[Settings]\nUartComPort=" + std::string(600, 'P') + "\n");
    EXPECT_EQ(ReadUartComPort(), std::wstring(511, L'P'));
}

TEST_F(SettingsFile, GarbageFileReadsDefaultsAndCanStillBeWritten) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    WriteIni(garbage);
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadUartDebugLog());
    ASSERT_TRUE(WriteUartDebugLog(true));
    EXPECT_TRUE(ReadUartDebugLog());
}

TEST_F(SettingsFile, UnusableFileGivesDefaultsAndFailedWrites) {
    test::MakeFolder(GetSettingsFilePath());  // a folder where the file should be
    EXPECT_EQ(ReadUartComPort(), L"");
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(WriteUartComPort(L"COM3"));
    EXPECT_FALSE(WriteAutostart(true));

    // A data root that cannot exist, because a file stands where a folder should be.
    test::WriteFileBytes(root_ / L"blocker", "");
    SetDataRootForProcess(root_ / L"blocker" + kPathSeparator + L"root");
    EXPECT_FALSE(WriteUartDebugLog(true));
    EXPECT_FALSE(ReadUartDebugLog());
}

}  // namespace
}  // namespace zovrel
