#include "clipboard/clipboard_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/text.h"
#include "win/win_clipboard_support.h"

namespace zovrel {
namespace {

using test::FormatData;
using test::OtherClipboardOwner;

Bytes SmallDib(int width, int height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    Bytes dib(sizeof header + static_cast<size_t>(width) * 4 * height);
    std::memcpy(dib.data(), &header, sizeof header);
    for (size_t i = sizeof header; i < dib.size(); ++i)
        dib[i] = static_cast<uint8_t>(i * 7);
    return dib;
}

ClipboardEntry TextEntry(const std::wstring& text) {
    ClipboardEntry e;
    e.text = text;
    return e;
}

// The raw bytes of one clipboard format, as any program would see them.
Bytes FormatBytes(UINT format) {
    Bytes bytes;
    ClipboardSession session(nullptr);
    if (!session.IsOpen())
        return bytes;
    HANDLE handle = GetClipboardData(format);
    if (handle == nullptr)
        return bytes;
    const auto* p = static_cast<const uint8_t*>(GlobalLock(handle));
    if (p != nullptr)
        bytes.assign(p, p + GlobalSize(handle));
    GlobalUnlock(handle);
    return bytes;
}

class ClipboardAccess : public testing::Test {
  protected:
    void SetUp() override {
        ZOVREL_REQUIRE_CLIPBOARD();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) /
                  (L"zovrel-access-" + std::to_wstring(GetCurrentProcessId()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
    }
    std::wstring MakeFile(const std::wstring& name, size_t size) {
        std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        return path.wstring();
    }

    std::filesystem::path folder_;
};

TEST_F(ClipboardAccess, TextRoundTripsAndReachesOtherPrograms) {
    const std::wstring text = L"Zovrel 剪贴板 é \U0001F600";
    ASSERT_TRUE(WriteEntryToClipboard(TextEntry(text), nullptr));
    ClipboardEntry read;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(read.text, text);
    EXPECT_EQ(read.dataSize, static_cast<int64_t>(ToUtf8(text).size()));
    EXPECT_NE(read.time, 0u);
    EXPECT_EQ(test::XclipGet(), ToUtf8(text));

    // And the other way round: Chinese copied in an X program.
    ASSERT_TRUE(test::XclipSetText("来自 X 的文字"));
    ClipboardEntry fromX;
    ASSERT_TRUE(test::PumpUntil(
        [&] { return ReadClipboardEntry(nullptr, fromX) && fromX.text == L"来自 X 的文字"; },
        3000));
    EXPECT_EQ(fromX.dataSize, 18);  // five CJK characters, two blanks and an X

    // Nothing to write, nothing to read.
    EXPECT_FALSE(WriteEntryToClipboard(TextEntry(L""), nullptr));
    ClipboardEntry none;
    EXPECT_FALSE(ReadClipboardEntry(nullptr, none));
}

TEST_F(ClipboardAccess, TextWithoutTerminatorIsReadOnlyToTheEndOfItsBlock) {
    OtherClipboardOwner owner;
    const std::wstring chars = L"abcdefgh";
    Bytes unterminated(reinterpret_cast<const uint8_t*>(chars.data()),
                       reinterpret_cast<const uint8_t*>(chars.data() + chars.size()));
    ASSERT_TRUE(owner.Put({{CF_UNICODETEXT, unterminated}}));
    // Wine may terminate such text itself by giving up its last unit; either way nothing from
    // beyond the block may appear.
    ClipboardEntry read;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_GE(read.text.size(), chars.size() - 1);
    EXPECT_EQ(read.text, chars.substr(0, read.text.size()));

    ASSERT_TRUE(owner.Put({{CF_TEXT, Bytes{'x', 'y', 'z'}}}));
    ClipboardEntry ansi;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, ansi));
    EXPECT_GE(ansi.text.size(), 2u);
    EXPECT_EQ(ansi.text, std::wstring(L"xyz").substr(0, ansi.text.size()));
}

TEST_F(ClipboardAccess, FileListsKeepOrderSkipMissingPathsAndFallBackToText) {
    const std::wstring a = MakeFile(L"a.txt", 10);
    const std::wstring b = MakeFile(L"文件 b.bin", 32);
    const std::wstring missing = (folder_ / L"gone.txt").wstring();
    std::filesystem::create_directory(folder_ / L"sub");
    const std::wstring sub = (folder_ / L"sub").wstring();

    ClipboardEntry files;
    files.kind = ENTRY_KIND_FILES;
    files.files = {b, missing, a, sub};
    files.text = L"4 个文件";
    ASSERT_TRUE(WriteEntryToClipboard(files, nullptr));
    ClipboardEntry read;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_FILES);
    EXPECT_EQ(read.files, (std::vector<std::wstring>{b, a, sub}));
    EXPECT_EQ(read.text, L"3 个文件");
    EXPECT_EQ(read.dataSize, 42);  // the folder adds nothing

    files.files = {a};
    ASSERT_TRUE(WriteEntryToClipboard(files, nullptr));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.text, a);

    // No listed file exists any more: the text goes instead.
    files.files = {missing};
    files.text = L"旧的文件";
    ASSERT_TRUE(WriteEntryToClipboard(files, nullptr));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(read.text, L"旧的文件");
}

TEST_F(ClipboardAccess, FilesWithTextTakeTheTextAndBrokenDropListsAreRefused) {
    const std::wstring a = MakeFile(L"a.txt", 3);
    OtherClipboardOwner owner;
    Bytes drop = BuildDropFilesBlock({a});
    ASSERT_TRUE(owner.Put({{CF_HDROP, drop}, {CF_UNICODETEXT, test::Utf16Bytes(L"说明")}}));
    ClipboardEntry read;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_FILES);
    EXPECT_EQ(read.files, std::vector<std::wstring>{a});
    EXPECT_EQ(read.text, L"说明");

    // A list whose final NUL is missing would be walked past the block's end.
    Bytes broken(drop.begin(), drop.end() - 4);
    for (size_t i = 20; i < broken.size(); ++i) {
        if (broken[i] == 0)
            broken[i] = 'x';
    }
    ASSERT_TRUE(owner.Put({{CF_HDROP, broken}, {CF_UNICODETEXT, test::Utf16Bytes(L"only")}}));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(read.text, L"only");
}

TEST_F(ClipboardAccess, DibsRoundTripAndOnlyTheDibIsTakenFromALargerBlock) {
    const Bytes dib = SmallDib(3, 2);
    ClipboardEntry image;
    image.kind = ENTRY_KIND_IMAGE;
    image.imageBytes = dib;
    image.imageFileName = L"clipboard.dib";
    ASSERT_TRUE(WriteEntryToClipboard(image, nullptr));
    ClipboardEntry read;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.kind, ENTRY_KIND_IMAGE);
    EXPECT_EQ(read.imageBytes, dib);
    EXPECT_EQ(read.imageFileName, L"clipboard.dib");
    EXPECT_EQ(read.text, L"[截图]");
    EXPECT_EQ(read.dataSize, static_cast<int64_t>(dib.size()));

    OtherClipboardOwner owner;
    Bytes padded = dib;
    padded.resize(dib.size() + 100, 0xEE);
    ASSERT_TRUE(owner.Put({{CF_DIB, padded}}));
    ASSERT_TRUE(ReadClipboardEntry(nullptr, read));
    EXPECT_EQ(read.imageBytes, dib);

    // Bytes that start with an information header go to CF_DIB whatever their name says.
    image.imageFileName = L"picture";
    ASSERT_TRUE(WriteEntryToClipboard(image, nullptr));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
}

TEST_F(ClipboardAccess, EncodedImagesGoUnderTheirRegisteredFormat) {
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4};
    ClipboardEntry image;
    image.kind = ENTRY_KIND_IMAGE;
    image.imageBytes = png;
    image.imageFileName = L"  C:\\pictures\\Shot.PNG ";
    ASSERT_TRUE(WriteEntryToClipboard(image, nullptr));
    const UINT pngFormat = RegisterClipboardFormatW(L"PNG");
    EXPECT_TRUE(IsClipboardFormatAvailable(pngFormat));
    Bytes onClipboard = FormatBytes(pngFormat);
    ASSERT_GE(onClipboard.size(), png.size());
    EXPECT_EQ(Bytes(onClipboard.begin(), onClipboard.begin() + png.size()), png);

    image.imageFileName = L"photo.jpeg";
    ASSERT_TRUE(WriteEntryToClipboard(image, nullptr));
    EXPECT_TRUE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"JFIF")));
    image.imageFileName = L"scan.tiff";
    ASSERT_TRUE(WriteEntryToClipboard(image, nullptr));
    EXPECT_TRUE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"Zovrel.Image")));
}

TEST_F(ClipboardAccess, BusyClipboardIsRetriedBrieflyThenGivenUp) {
    ASSERT_TRUE(WriteEntryToClipboard(TextEntry(L"before"), nullptr));
    OtherClipboardOwner owner;
    ASSERT_TRUE(owner.Hold());
    const DWORD start = GetTickCount();
    ClipboardEntry read;
    EXPECT_FALSE(ReadClipboardEntry(nullptr, read));
    EXPECT_FALSE(WriteEntryToClipboard(TextEntry(L"after"), nullptr));
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 2 * 140u);  // 8 tries, 20 ms apart, for each of the two
    EXPECT_LT(waited, 5000u);     // bounded: never hangs on a stuck owner

    // Released while we retry: the read gets through.
    std::thread release([&] {
        Sleep(60);
        owner.Release();
    });
    bool got = ReadClipboardEntry(nullptr, read);
    release.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(read.text, L"before");
}

TEST_F(ClipboardAccess, PrivateMarksAreRecognisedWhateverTheirData) {
    const UINT viewerIgnore = RegisterClipboardFormatW(kViewerIgnoreFormat);
    const UINT exclude = RegisterClipboardFormatW(kExcludeFromMonitorFormat);
    const UINT history = RegisterClipboardFormatW(kCanIncludeInHistoryFormat);
    const UINT cloud = RegisterClipboardFormatW(kCanUploadToCloudFormat);
    const FormatData secret{CF_UNICODETEXT, test::Utf16Bytes(L"hunter2")};
    struct Case {
        const char* name;
        FormatData mark;
        ClipboardReadResult expected;
    };
    const Case cases[] = {
        {"viewer ignore, empty", {viewerIgnore, {}}, ClipboardReadResult::Private},
        {"viewer ignore, delayed", {viewerIgnore, {}, true}, ClipboardReadResult::Private},
        {"exclude, empty", {exclude, {}}, ClipboardReadResult::Private},
        {"exclude, DWORD 1", {exclude, test::DwordBytes(1)}, ClipboardReadResult::Private},
        {"exclude, delayed", {exclude, {}, true}, ClipboardReadResult::Private},
        {"history DWORD 0", {history, test::DwordBytes(0)}, ClipboardReadResult::Private},
        {"cloud DWORD 0", {cloud, test::DwordBytes(0)}, ClipboardReadResult::Private},
        {"history DWORD 1", {history, test::DwordBytes(1)}, ClipboardReadResult::Content},
        {"cloud DWORD 1", {cloud, test::DwordBytes(1)}, ClipboardReadResult::Content},
        {"cloud, short block", {cloud, Bytes{0, 0}}, ClipboardReadResult::Content},
    };
    OtherClipboardOwner owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(owner.Put({secret, c.mark}) || c.mark.delayed);
        ClipboardEntry read;
        EXPECT_EQ(ReadClipboardEntryUnlessPrivate(nullptr, read), c.expected);
        if (c.expected == ClipboardReadResult::Private) {
            EXPECT_TRUE(read.text.empty());
        }
    }
    // The plain read used for the program's own writes is not affected.
    ASSERT_TRUE(owner.Put({secret, {exclude, {}}}));
    ClipboardEntry read;
    EXPECT_TRUE(ReadClipboardEntry(nullptr, read));
}

}  // namespace
}  // namespace zovrel
