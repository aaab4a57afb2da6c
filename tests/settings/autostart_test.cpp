#include "settings/autostart.h"

#include <gtest/gtest.h>

#include "settings/settings_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "base/text.h"
#endif

namespace zovrel {
namespace {

#ifdef _WIN32

struct RunValue {
    bool present = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text;
};

RunValue ReadRunValue() {
    RunValue value;
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"zovrel", RRF_RT_ANY, &value.type, buffer, &bytes) == ERROR_SUCCESS)
        value = {true, value.type, bytes, buffer};
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
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.text, L"\"C:\\Program Files\\zovrel\\zovrel.exe\"");
    EXPECT_EQ(value.bytes, (value.text.size() + 1) * 2);
    ASSERT_TRUE(SetAutostartFor(true, L"C:\\zovrel\\zovrel.exe"));
    EXPECT_EQ(ReadRunValue().text, L"C:\\zovrel\\zovrel.exe");
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_EQ(ReadRunValue().text, QuoteIfContainsSpace(GetExecutablePath()));
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
    std::string Exec() const {
        const std::string entry = test::ReadFileBytes(EntryPath());
        const size_t at = entry.find("\nExec=");
        return at == std::string::npos ? ""
                                       : entry.substr(at + 6, entry.find('\n', at + 1) - at - 6);
    }
    test::TempFolder config_;
    test::ScopedEnv env_{"XDG_CONFIG_HOME", ToUtf8(config_.path())};
};

TEST_F(Autostart, EntryRunsTheQuotedOrBarePathEscapedForTheLauncher) {
    ASSERT_TRUE(SetAutostartFor(true, L"/opt/my apps/zovrel"));
    EXPECT_EQ(Exec(), "\"/opt/my apps/zovrel\"");
    ASSERT_TRUE(SetAutostartFor(true, L"/usr/bin/zovrel"));
    EXPECT_EQ(Exec(), "/usr/bin/zovrel");
    ASSERT_TRUE(SetAutostartFor(true, L"/home/a$b/100%/x\"y\\z"));
    EXPECT_EQ(Exec(), "\"/home/a\\\\$b/100%%/x\\\\\"y\\\\\\\\z\"");
    // A line break would end the Exec line and let the rest pose as further keys.
    EXPECT_FALSE(SetAutostartFor(true, L"/tmp/x\nHidden=true"));
    EXPECT_EQ(Exec(), "\"/home/a\\\\$b/100%%/x\\\\\"y\\\\\\\\z\"");
}

TEST_F(Autostart, DisablingRemovesTheEntryAndSucceedsWhenAlreadyAbsent) {
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_EQ(Exec(), ToUtf8(GetExecutablePath()));
    EXPECT_TRUE(SetAutostart(false));
    EXPECT_FALSE(PathExists(EntryPath()));
    EXPECT_TRUE(SetAutostart(false));
}

TEST(AutostartHome, WithoutXdgConfigHomeTheEntryGoesUnderHome) {
    test::TempFolder home;
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    test::ScopedEnv homeEnv("HOME", ToUtf8(home.path()));
    ASSERT_TRUE(SetAutostart(true));
    EXPECT_TRUE(PathExists(home / L".config/autostart/zovrel.desktop"));
}

#endif

}  // namespace
}  // namespace zovrel
