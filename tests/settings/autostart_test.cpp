#include "settings/autostart.h"

#include <gtest/gtest.h>

#include "settings/data_root.h"
#include "settings/settings_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "base/text.h"
#endif

namespace zovrel {
namespace {

TEST(QuoteIfContainsSpace, OnlyTheBlankCounts) {
    EXPECT_EQ(QuoteIfContainsSpace(L"C:\\Program Files\\zovrel.exe"),
              L"\"C:\\Program Files\\zovrel.exe\"");
    EXPECT_EQ(QuoteIfContainsSpace(L"C:\\tab\there.exe"), L"C:\\tab\there.exe");
}

#ifdef _WIN32

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct RunValue {
    bool present = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text;
};

RunValue ReadRunValue() {
    RunValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer);
    if (RegQueryValueExW(key, L"zovrel", nullptr, &value.type, reinterpret_cast<BYTE*>(buffer),
                         &bytes) == ERROR_SUCCESS) {
        value.present = true;
        value.bytes = bytes;
        value.text = buffer;
    }
    RegCloseKey(key);
    return value;
}

// Leaves the prefix's Run key as it found it: nothing registered.
class Autostart : public ::testing::Test {
  protected:
    ~Autostart() override { SetAutostart(false); }
};

TEST_F(Autostart, RunValueIsTheQuotedOrBarePathWithItsTerminatorStored) {
    ASSERT_TRUE(SetAutostartFor(true, L"C:\\Program Files\\zovrel\\zovrel.exe"));
    RunValue value = ReadRunValue();
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.text, L"\"C:\\Program Files\\zovrel\\zovrel.exe\"");
    EXPECT_EQ(value.bytes, (value.text.size() + 1) * 2);

    ASSERT_TRUE(SetAutostart(true));
    value = ReadRunValue();
    EXPECT_EQ(value.text, QuoteIfContainsSpace(GetExecutablePath()));
    EXPECT_EQ(value.bytes, (value.text.size() + 1) * 2);

    ASSERT_TRUE(SetAutostartFor(true, L"C:\\zovrel\\zovrel.exe"));
    EXPECT_EQ(ReadRunValue().text, L"C:\\zovrel\\zovrel.exe");
}

TEST_F(Autostart, DisablingRemovesTheValueAndSucceedsWhenAlreadyAbsent) {
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_TRUE(SetAutostart(false));
    EXPECT_FALSE(ReadRunValue().present);
    EXPECT_TRUE(SetAutostart(false));
}

#else

class Autostart : public ::testing::Test {
  protected:
    std::wstring EntryPath() const { return config_ / L"autostart/zovrel.desktop"; }
    std::string Entry() const { return test::ReadFileBytes(EntryPath()); }
    test::TempFolder config_;
    test::ScopedEnv env_{"XDG_CONFIG_HOME", ToUtf8(config_.path())};
};

TEST_F(Autostart, EntryRunsTheQuotedOrBarePath) {
    ASSERT_TRUE(SetAutostartFor(true, L"/opt/my apps/zovrel"));
    EXPECT_EQ(Entry(),
              "[Desktop Entry]\nType=Application\nName=zovrel\nExec=\"/opt/my apps/zovrel\"\n"
              "Terminal=false\n");
    ASSERT_TRUE(SetAutostartFor(true, L"/usr/bin/zovrel"));
    EXPECT_NE(Entry().find("\nExec=/usr/bin/zovrel\n"), std::string::npos);
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_NE(Entry().find("\nExec=" + ToUtf8(GetExecutablePath()) + "\n"), std::string::npos);
}

TEST_F(Autostart, CharactersTheLauncherInterpretsAreEscaped) {
    ASSERT_TRUE(SetAutostartFor(true, L"/home/a$b/100%/x\"y\\z"));
    EXPECT_NE(Entry().find("\nExec=\"/home/a\\\\$b/100%%/x\\\\\"y\\\\\\\\z\"\n"), std::string::npos)
        << Entry();
    // A line break would end the Exec line and let the rest pose as further keys.
    EXPECT_FALSE(SetAutostartFor(true, L"/tmp/x\nHidden=true"));
}

TEST_F(Autostart, DisablingRemovesTheEntryAndSucceedsWhenAlreadyAbsent) {
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_TRUE(SetAutostart(false));
    EXPECT_FALSE(test::Exists(EntryPath()));
    EXPECT_TRUE(SetAutostart(false));
}

TEST(AutostartHome, WithoutXdgConfigHomeTheEntryGoesUnderHome) {
    test::TempFolder home;
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    test::ScopedEnv homeEnv("HOME", ToUtf8(home.path()));
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_TRUE(test::Exists(home / L".config/autostart/zovrel.desktop"));
}

#endif

}  // namespace
}  // namespace zovrel
