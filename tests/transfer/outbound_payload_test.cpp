#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/paths.h"
#include "support/test_support.h"
#include "transfer/file_send_plan.h"
#include "transfer/outbound_payload.h"

namespace zovrel {
namespace {

namespace fs = std::filesystem;

ClipboardEntry Entry(uint32_t kind, std::wstring text, Bytes image = {}, std::wstring name = {},
                     std::vector<std::wstring> files = {}) {
    return {0, kind, text, files, StoredImage(SharedBytes(std::move(image))), name};
}

// An image kept in the history's file, recorded with `size` bytes.
ClipboardEntry FileImage(std::wstring path, uint64_t size) {
    ClipboardEntry e = Entry(1, L"", {}, L"b.png");
    e.image = StoredImage::InFile(std::move(path), FileStamp{size, 1});
    return e;
}

TEST(OutboundPayloadTest, EachKindIsPreparedOrRefusedWithItsReason) {
    const test::TempFolder folder;
    const fs::path dir = folder.Path();
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "first.txt") << "hello";
    std::ofstream(dir / "empty.txt").flush();
    const auto at = [&](const char* name) { return TextFromPath(dir / name); };
    const std::wstring tooBig = L"传输内容超过允许大小", empty = L"空内容";
    const struct {
        ClipboardEntry entry;
        std::wstring error;  // none: prepared with this size and name, data type = kind
        size_t size = 0;
        std::wstring name = L"";
    } cases[] = {
        {Entry(0, std::wstring(349525, L'\u4e2d') + L"a"), L"", 1048576},  // as UTF-8
        {Entry(0, std::wstring(349526, L'\u4e2d')), tooBig},               // 3 bytes each
        {Entry(1, L"", {1}, L"C:\\pics\\a.png"), L"", 1, L"a.png"},
        {Entry(1, L"", Bytes(10485761), L"b.png"), tooBig},
        {FileImage(at("first.txt"), 5), L"", 5, L"b.png"},
        // removed or changed since it was listed: nothing of it is sent
        {FileImage(at("missing"), 5), L"图片文件已丢失"},
        {FileImage(at("first.txt"), 6), L"图片文件已丢失"},
        {FileImage(at("first.txt"), 10485761), tooBig},  // refused before it is read
        // A sent files entry reads its files one by one (the file send tests); here what
        // refuses one before it is read.
        {Entry(2, L"", {}, L"", {L" \t "}), L"文件路径缺失"},
        {Entry(2, L"", {}, L"", {at("empty.txt")}), empty},
        {Entry(2, L"", {}, L"", {at("folder")}), L"无法读取文件"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases);
        OutboundPayload p{9, {9}, L"stale"};
        std::wstring error = L"stale";
        EXPECT_EQ(PrepareOutboundPayload(c.entry, p, error), c.error.empty());
        EXPECT_EQ(error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(std::tuple(p.dataType, uint64_t(p.bytes.size()), p.fileName),
                  std::tuple(uint16_t(c.entry.kind), uint64_t(c.size), c.name));
    }
}

// The protocol's sizes are signed 32-bit: length + 52 may not pass 2147483647.
TEST(OutboundPayloadTest, FilesBeyondTheSigned32BitTotalAreRefused) {
    std::wstring error;
    EXPECT_TRUE(CheckPayloadSize(2, 2147483647u - 52, error));
    EXPECT_FALSE(CheckPayloadSize(2, 2147483647u - 51, error));
    EXPECT_FALSE(CheckPayloadSize(2, 4294967296ull + 10, error)) << "must not wrap";
}

// Which paths of a files entry are sent (the rest is in the file send tests).
TEST(FileSendPlanTest, PathsAreTrimmedFoldersLeftOutAndAnEntryWithoutAListNamedByItsText) {
    using Paths = std::vector<std::wstring>;
    const auto isFolder = [](const std::wstring& path) { return path.rfind(L"dir", 0) == 0; };
    const FileSendPlan plan =
        PlanFileSend(Entry(2, L"x", {}, L"", {L" a ", L" dir\t", L" "}), isFolder);
    EXPECT_EQ(plan.files, (Paths{L"a", L""}));  // a blank one fails later as a missing path
    EXPECT_EQ(plan.folders, Paths{L"dir"});
    EXPECT_EQ(PlanFileSend(Entry(2, L" c \r\n"), isFolder).files, Paths{L"c"});
}

}  // namespace
}  // namespace zovrel
