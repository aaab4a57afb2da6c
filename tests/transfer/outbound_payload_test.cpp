#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/clipboard_entry.h"
#include "transfer/outbound_file.h"
#include "transfer/outbound_payload.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ =
            fs::temp_directory_path() /
            ("zovrel-payload-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    // Creates a file holding `content` and returns its full path as wide text.
    std::wstring Write(const std::string& name, const std::string& content) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out << content;
        return Text(name);
    }
    std::wstring Text(const std::string& name) const { return TextFromPath(path_ / name); }
    fs::path Path(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

ClipboardEntry TextEntry(std::wstring text) {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_TEXT;
    e.text = std::move(text);
    return e;
}

ClipboardEntry ImageEntry(Bytes bytes, std::wstring name) {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_IMAGE;
    e.imageBytes = std::move(bytes);
    e.imageFileName = std::move(name);
    return e;
}

ClipboardEntry FilesEntry(std::vector<std::wstring> files, std::wstring text = L"") {
    ClipboardEntry e;
    e.kind = ENTRY_KIND_FILES;
    e.files = std::move(files);
    e.text = std::move(text);
    return e;
}

struct Prepared {
    bool ok;
    OutboundPayload payload;
    std::wstring error;
};

Prepared Prepare(const ClipboardEntry& entry) {
    Prepared p;
    p.error = L"stale";
    p.payload.bytes = {9, 9};
    p.ok = PrepareOutboundPayload(entry, p.payload, p.error);
    return p;
}

TEST(OutboundPayloadTest, TextIsSentAsUtf8WithinTheLimit) {
    auto p = Prepare(TextEntry(L"a\u4e2d"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.error, L"");
    EXPECT_EQ(p.payload.dataType, 0);
    EXPECT_EQ(p.payload.bytes, (Bytes{'a', 0xE4, 0xB8, 0xAD}));
    EXPECT_EQ(p.payload.fileName, L"");

    EXPECT_TRUE(Prepare(TextEntry(std::wstring(1048576, L'x'))).ok);
    auto over = Prepare(TextEntry(std::wstring(1048577, L'x')));
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.error, L"传输内容超过允许大小");

    // The limit counts UTF-8 bytes: three per character here.
    EXPECT_TRUE(Prepare(TextEntry(std::wstring(349525, L'\u4e2d'))).ok);
    EXPECT_EQ(Prepare(TextEntry(std::wstring(349526, L'\u4e2d'))).error, L"传输内容超过允许大小");

    auto empty = Prepare(TextEntry(L""));
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, L"空内容");
    EXPECT_TRUE(empty.payload.bytes.empty()) << "a failed preparation leaves no stale payload";
}

TEST(OutboundPayloadTest, ImageIsSentAsStoredUnderItsFileName) {
    auto p = Prepare(ImageEntry({1, 2, 3}, L"C:\\pics\\a.png"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.payload.dataType, 1);
    EXPECT_EQ(p.payload.bytes, (Bytes{1, 2, 3}));
    EXPECT_EQ(p.payload.fileName, L"a.png");

    EXPECT_EQ(Prepare(ImageEntry({1}, L"")).payload.fileName, L"image.bin");
    EXPECT_EQ(Prepare(ImageEntry({1}, L"  ")).payload.fileName, L"image.bin");
    EXPECT_EQ(Prepare(ImageEntry({1}, L"shots/")).payload.fileName, L"image.bin");

    EXPECT_EQ(Prepare(ImageEntry({}, L"a.png")).error, L"空内容");
    EXPECT_TRUE(Prepare(ImageEntry(Bytes(10485760, 7), L"big.png")).ok);
    EXPECT_EQ(Prepare(ImageEntry(Bytes(10485761, 7), L"big.png")).error, L"传输内容超过允许大小");
}

TEST(OutboundPayloadTest, FilesEntrySendsOnlyItsFirstFile) {
    TempFolder dir;
    const std::wstring first = dir.Write("first.txt", "hello");
    const std::wstring second = dir.Write("second.txt", "world!");

    auto p = Prepare(FilesEntry({first, second}));
    ASSERT_TRUE(p.ok) << ToUtf8(p.error);
    EXPECT_EQ(p.payload.dataType, 2);
    EXPECT_EQ(p.payload.bytes, (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(p.payload.fileName, L"first.txt");

    // Without a list the text names the file; blanks around it do not matter.
    auto fromText = Prepare(FilesEntry({}, L"  " + second + L"\r\n"));
    ASSERT_TRUE(fromText.ok) << ToUtf8(fromText.error);
    EXPECT_EQ(fromText.payload.fileName, L"second.txt");
    EXPECT_EQ(fromText.payload.bytes.size(), 6u);
}

TEST(OutboundPayloadTest, FilesEntryFailures) {
    TempFolder dir;
    const std::wstring existing = dir.Write("exists.txt", "x");
    const std::wstring missing = dir.Text("missing.txt");
    const std::wstring empty = dir.Write("empty.txt", "");
    fs::create_directories(dir.Path("folder"));

    EXPECT_EQ(Prepare(FilesEntry({})).error, L"文件路径缺失");
    EXPECT_EQ(Prepare(FilesEntry({L" \t "}, L"ignored")).error, L"文件路径缺失");
    // The first path decides, even when a later one exists.
    EXPECT_EQ(Prepare(FilesEntry({missing, existing})).error, L"文件不存在: " + missing);
    EXPECT_EQ(Prepare(FilesEntry({empty})).error, L"空内容");
    // Something that exists but cannot be read as a file.
    EXPECT_EQ(Prepare(FilesEntry({dir.Text("folder")})).error, L"无法读取文件");
    EXPECT_EQ(Prepare(FilesEntry({dir.Text("folder") + L"/"})).error, L"无法读取文件");

    ClipboardEntry unknown = TextEntry(L"text");
    unknown.kind = 7;
    EXPECT_EQ(Prepare(unknown).error, L"不支持的内容类型");
}

TEST(OutboundPayloadTest, SizesBeyondTheProtocolsSigned32BitTotalAreRefused) {
    std::wstring error;
    EXPECT_TRUE(CheckPayloadSize(2, 2147483647u - 52, error));
    EXPECT_FALSE(CheckPayloadSize(2, 2147483647u - 51, error));
    EXPECT_EQ(error, L"传输内容超过允许大小");
    EXPECT_FALSE(CheckPayloadSize(2, 4294967296ull + 10, error)) << "must not wrap to a small size";
    // Unknown data types fall under the text limit.
    EXPECT_TRUE(CheckPayloadSize(9, 1048576, error));
    EXPECT_FALSE(CheckPayloadSize(9, 1048577, error));

    // A sparse 2 GiB file is refused from its length alone, before anything is read.
    TempFolder dir;
    const std::wstring huge = dir.Write("huge.bin", "");
    std::error_code ec;
    fs::resize_file(dir.Path("huge.bin"), 2147483596ull, ec);
    if (ec)
        GTEST_SKIP() << "no sparse files here: " << ec.message();
    auto p = Prepare(FilesEntry({huge}));
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, L"传输内容超过允许大小");
    EXPECT_TRUE(p.payload.bytes.empty());
}

TEST(OutboundPayloadTest, AFileThatEndsEarlyIsAFailedRead) {
    TempFolder dir;
    const std::wstring path = dir.Write("short.bin", "0123456789");
    OutboundFile file;
    ASSERT_TRUE(file.Open(path));
    uint64_t length = 0;
    ASSERT_TRUE(file.Length(length));
    EXPECT_EQ(length, 10u);
    uint8_t buffer[20] = {};
    EXPECT_FALSE(file.ReadExactly(buffer, sizeof buffer));

    OutboundFile again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_TRUE(again.ReadExactly(buffer, 10));
    EXPECT_EQ(buffer[9], '9');
}

}  // namespace
}  // namespace zovrel
