#include "settings/data_root.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "settings/settings_test_support.h"

namespace zovrel {
namespace {

using test::TempFolder;

TEST(DataRoot, PortableMarkerFileOrFolderKeepsDataBesideTheExecutable) {
    TempFolder withFile, withFolder;
    test::WriteFileBytes(withFile / L"portable", "");
    test::MakeFolder(withFolder / L"portable");
    EXPECT_EQ(ResolveDataRoot(withFile.path()), withFile.path());
    EXPECT_EQ(ResolveDataRoot(withFolder.path()), withFolder.path());
}

TEST(DataRoot, WithoutMarkerUsesThePerUserFolderAndCreatesIt) {
    TempFolder exeFolder;
#ifdef _WIN32
    const std::wstring root = ResolveDataRoot(exeFolder.path());
    EXPECT_EQ(root.substr(root.size() - 7), L"\\zovrel");
#else
    TempFolder dataHome, home;
    std::wstring root;
    {
        test::ScopedEnv xdg("XDG_DATA_HOME", ToUtf8(dataHome.path()));
        root = ResolveDataRoot(exeFolder.path());
        EXPECT_EQ(root, dataHome / L"zovrel");
    }
    test::ScopedEnv noXdg("XDG_DATA_HOME", std::nullopt);
    test::ScopedEnv homeEnv("HOME", ToUtf8(home.path()));
    EXPECT_EQ(ResolveDataRoot(exeFolder.path()), home.path() + L"/.local/share/zovrel");
    EXPECT_TRUE(PathExists(home.path() + L"/.local/share/zovrel"));
#endif
    EXPECT_TRUE(PathExists(root));
}

TEST(DataRoot, EnsureFolderExistsOnlyCountsRealFolders) {
    TempFolder folder;
    const std::wstring deep = folder / L"a" + kPathSeparator + L"b" + kPathSeparator + L"文件";
    EXPECT_TRUE(EnsureFolderExists(deep));
    EXPECT_TRUE(EnsureFolderExists(deep));  // existing counts as created
    EXPECT_FALSE(EnsureFolderExists(L""));
    test::WriteFileBytes(folder / L"logs", "a file, not a folder");
    EXPECT_FALSE(EnsureFolderExists(folder / L"logs"));
    EXPECT_FALSE(EnsureFolderExists(folder / L"logs" + kPathSeparator + L"below"));
}

}  // namespace
}  // namespace zovrel
