#include "clipboard/fingerprint.h"

#include <gtest/gtest.h>

#include "clipboard/history_test_support.h"
#include "settings/profile.h"

namespace zovrel {
namespace {

using test::FilesEntry;
using test::ImageEntry;
using test::TextEntry;

TEST(Fingerprint, KnownDigestOfCanonicalText) {
    // Canonical text "0\nabc\n"; the time and DataSize never count.
    ClipboardEntry e = TextEntry(L"abc", 12345);
    e.dataSize = 999;
    EXPECT_EQ(ComputeFingerprint(e),
              L"45f3d073f4942518a1a88b5ca41e85cd7462f3125506b60ffcfa0265ef9cc8cf");
}

TEST(Fingerprint, EveryPartOfTheContentCounts) {
    const Bytes pixels = {1, 2, 3, 4, 5};
    EXPECT_NE(ComputeFingerprint(ImageEntry(pixels, L"a.png")),
              ComputeFingerprint(ImageEntry(pixels, L"a.jpg")));
    EXPECT_NE(ComputeFingerprint(ImageEntry(pixels, L"a.png")),
              ComputeFingerprint(ImageEntry({1, 2, 3, 4, 6}, L"a.png")));
    EXPECT_EQ(ComputeFingerprint(ImageEntry(pixels, L"a.png", 1)),
              ComputeFingerprint(ImageEntry(pixels, L"a.png", 2)));

    EXPECT_NE(ComputeFingerprint(FilesEntry({L"/a", L"/b"})),
              ComputeFingerprint(FilesEntry({L"/b", L"/a"})));

    ClipboardEntry asImage = TextEntry(L"abc");
    asImage.kind = ENTRY_KIND_IMAGE;
    EXPECT_NE(ComputeFingerprint(asImage), ComputeFingerprint(TextEntry(L"abc")));

    // A NUL inside a text must not hide what follows it.
    EXPECT_NE(ComputeFingerprint(TextEntry(std::wstring(L"a\0b", 3))),
              ComputeFingerprint(TextEntry(std::wstring(L"a\0c", 3))));
    // Non-ASCII text goes in as UTF-8, identically in both builds.
    EXPECT_EQ(ComputeFingerprint(TextEntry(L"中文")).size(), 64u);
    EXPECT_NE(ComputeFingerprint(TextEntry(L"中文")), ComputeFingerprint(TextEntry(L"中")));
}

TEST(IgnoredFingerprints, LoadTrimsSkipsEmptyPiecesAndSaveRewritesCleanly) {
    test::TempFolder folder;
    const std::wstring index = folder.File(L"index.ini");
    test::WriteFileBytes(index,
                         "[Meta]\r\nIgnoredFingerprints= a |  | b|\r\nIgnoreFingerprint=c\r\n"
                         "Count=0\r\n");
    FingerprintSet set = {L"stale"};
    LoadIgnoredFingerprints(index, set);
    EXPECT_EQ(set, (FingerprintSet{L"a", L"b", L"c"}));

    SaveIgnoredFingerprints(index, FingerprintSet{L"b", L"a"});
    ProfileDocument doc;
    ASSERT_TRUE(LoadProfile(index, doc));
    EXPECT_EQ(doc.Get(L"Meta", L"IgnoredFingerprints"), L"a|b");
    EXPECT_FALSE(doc.Get(L"Meta", L"IgnoreFingerprint"));
    EXPECT_EQ(doc.Get(L"Meta", L"Count"), L"0");  // other keys stay

    SaveIgnoredFingerprints(index, {});
    ASSERT_TRUE(LoadProfile(index, doc));
    EXPECT_FALSE(doc.Get(L"Meta", L"IgnoredFingerprints"));

    LoadIgnoredFingerprints(folder.File(L"missing.ini"), set);
    EXPECT_TRUE(set.empty());
}

}  // namespace
}  // namespace zovrel
