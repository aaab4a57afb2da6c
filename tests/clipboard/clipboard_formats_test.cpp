#include <gtest/gtest.h>

#include <cstring>

#include "clipboard/clipboard_access.h"

namespace zovrel {
namespace {

TEST(ImageClipboardFormatName, FollowsTheLastExtensionOfTheBareName) {
    EXPECT_EQ(ImageClipboardFormatName(L"shot.png"), L"PNG");
    EXPECT_EQ(ImageClipboardFormatName(L"  C:\\dir.jpg\\SHOT.PNG \t"), L"PNG");
    EXPECT_EQ(ImageClipboardFormatName(L"a.jpg"), L"JFIF");
    EXPECT_EQ(ImageClipboardFormatName(L"/tmp/a.JPEG"), L"JFIF");
    EXPECT_EQ(ImageClipboardFormatName(L"anim.gif"), L"GIF");
    EXPECT_EQ(ImageClipboardFormatName(L"archive.png.zip"), L"Zovrel.Image");
    EXPECT_EQ(ImageClipboardFormatName(L"images.png/noext"), L"Zovrel.Image");
    EXPECT_EQ(ImageClipboardFormatName(L"c:\\a.gif/b\\pic"), L"Zovrel.Image");
    EXPECT_EQ(ImageClipboardFormatName(L""), L"Zovrel.Image");
}

TEST(DropFilesBlock, LaysOutWidePathsWithTheirTerminators) {
    const std::vector<std::wstring> paths = {L"C:\\a", L"D:\\文\U0001F600"};
    Bytes block = BuildDropFilesBlock(paths);
    // 20 + 2 x ((4 + 1) + (6 + 1) + 1): the emoji takes two UTF-16 units.
    ASSERT_EQ(block.size(), 20u + 2u * (5u + 7u + 1u));
    uint32_t header[5];
    std::memcpy(header, block.data(), sizeof header);
    EXPECT_EQ(header[0], 20u);
    EXPECT_EQ(header[1], 0u);
    EXPECT_EQ(header[2], 0u);
    EXPECT_EQ(header[3], 0u);
    EXPECT_EQ(header[4], 1u);
    const uint16_t expected[] = {'C',  ':',    '\\',   'a',    0, 'D', ':',
                                 '\\', 0x6587, 0xD83D, 0xDE00, 0, 0};
    ASSERT_EQ(block.size() - 20, sizeof expected);
    EXPECT_EQ(std::memcmp(block.data() + 20, expected, sizeof expected), 0);
    EXPECT_TRUE(IsWellFormedDropFiles(block.data(), block.size()));
}

TEST(DropFilesBlock, ListsThatRunOffTheirBlockAreRefused) {
    Bytes block = BuildDropFilesBlock({L"C:\\a", L"C:\\b"});
    EXPECT_TRUE(IsWellFormedDropFiles(block.data(), block.size()));
    EXPECT_TRUE(IsWellFormedDropFiles(BuildDropFilesBlock({}).data(), 22));
    EXPECT_FALSE(IsWellFormedDropFiles(block.data(), block.size() - 2));  // final NUL cut off
    EXPECT_FALSE(IsWellFormedDropFiles(block.data(), 19));
    EXPECT_FALSE(IsWellFormedDropFiles(nullptr, 100));
    Bytes pastEnd = block;
    pastEnd[0] = static_cast<uint8_t>(block.size());  // list offset at the very end
    EXPECT_FALSE(IsWellFormedDropFiles(pastEnd.data(), pastEnd.size()));
    Bytes inHeader = block;
    inHeader[0] = 4;
    EXPECT_FALSE(IsWellFormedDropFiles(inHeader.data(), inHeader.size()));
    // Narrow lists end with two zero bytes, wide ones with two zero units.
    Bytes narrow = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 0, 0};
    EXPECT_TRUE(IsWellFormedDropFiles(narrow.data(), narrow.size()));
    EXPECT_FALSE(IsWellFormedDropFiles(narrow.data(), narrow.size() - 1));
}

}  // namespace
}  // namespace zovrel
