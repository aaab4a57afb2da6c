#include "settings/data_root.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::Exists;
using test::TempFolder;

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(DataRoot, PortableMarkerFileOrFolderKeepsDataBesideTheExecutable) {
    TempFolder withFile;
    test::WriteFileBytes(withFile / L"portable", "");
    EXPECT_EQ(ResolveDataRoot(withFile.path()), withFile.path());

    TempFolder withFolder;
    test::MakeFolder(withFolder / L"portable");
    EXPECT_EQ(ResolveDataRoot(withFolder.path()), withFolder.path());
}

TEST(DataRoot, WithoutMarkerUsesThePerUserFolderAndCreatesIt) {
    TempFolder exeFolder;
#ifdef _WIN32
    const std::wstring root = ResolveDataRoot(exeFolder.path());
    EXPECT_TRUE(EndsWith(root, L"\\zovrel")) << root;
    EXPECT_NE(root, exeFolder.path());
#else
    TempFolder dataHome;
    test::ScopedEnv xdg("XDG_DATA_HOME", ToUtf8(dataHome.path()));
    const std::wstring root = ResolveDataRoot(exeFolder.path());
    EXPECT_EQ(root, dataHome / L"zovrel");

    TempFolder home;
    test::ScopedEnv noXdg("XDG_DATA_HOME", std::nullopt);
    test::ScopedEnv homeEnv("HOME", ToUtf8(home.path()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.path()), home.path() + L"/.local/share/zovrel");
    EXPECT_TRUE(Exists(home.path() + L"/.local/share/zovrel"));
#endif
    EXPECT_TRUE(Exists(root));
}

TEST(DataRoot, ProcessOverrideRedirectsEveryPathUntilCleared) {
    const std::wstring normal = GetDataRoot();
    EXPECT_EQ(normal, ResolveDataRoot(GetExecutableFolder()));
    {
        test::TempDataRoot root;
        EXPECT_EQ(GetDataRoot(), root.path());
        EXPECT_EQ(GetSettingsFilePath(), root / L"zovrel.ini");
    }
    EXPECT_EQ(GetDataRoot(), normal);
    EXPECT_TRUE(EndsWith(GetExecutablePath(), GetExecutableFolder() + kPathSeparator +
#ifdef _WIN32
                                                  L"settings_tests.exe"
#else
                                                  L"settings_tests"
#endif
                         ));
}

TEST(DataRoot, EnsureFolderExistsOnlyCountsRealFolders) {
    TempFolder folder;
    const std::wstring deep = folder / L"a" + kPathSeparator + L"b" + kPathSeparator + L"文件";
    EXPECT_TRUE(EnsureFolderExists(deep));
    EXPECT_TRUE(EnsureFolderExists(deep));  // existing counts as created
    EXPECT_TRUE(Exists(deep));
    EXPECT_FALSE(EnsureFolderExists(L""));

    test::WriteFileBytes(folder / L"logs", "a file, not a folder");
    EXPECT_FALSE(EnsureFolderExists(folder / L"logs"));
    EXPECT_FALSE(EnsureFolderExists(folder / L"logs" + kPathSeparator + L"below"));
}

}  // namespace
}  // namespace zovrel
