#include <gtest/gtest.h>

#include "transfer/inbound_device.h"

namespace zovrel::test {
namespace {

using InboundSessionTest = InboundTest;

std::string Utf8(const std::wstring& text) {
    return ToUtf8(text);
}

TEST_F(InboundSessionTest, TextArrivesInChunksAndIsPostedAsAnEntry) {
    const std::string text = "héllo, 世界 — a text long enough for three chunks";
    const Bytes payload(text.begin(), text.end());
    EXPECT_EQ(Answer(DeviceFrames::Start()), 0);
    EXPECT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_TEXT, payload, "")), 0);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_TRUE(SendChunks(payload, 20));
    EXPECT_EQ(Answer(DeviceFrames::Finish(7)), 0);
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());

    ASSERT_EQ(window_.entries.size(), 1u);
    const ClipboardEntry& e = *window_.entries[0];
    EXPECT_EQ(e.kind, ENTRY_KIND_TEXT);
    EXPECT_EQ(Utf8(e.text), text);
    EXPECT_EQ(e.dataSize, static_cast<int64_t>(payload.size()));
    EXPECT_EQ(e.id, 0);
    EXPECT_NE(e.time, 0u);

    const std::wstring sum = FormatText(L"0x%08X", ProtocolChecksum(payload));
    const unsigned n = static_cast<unsigned>(payload.size());
    EXPECT_TRUE(Logged(
        FormatText(L"SYS FIRST_PACKET ok data_type=text total=%u payload=%u mcAdd=%ls file=\"\"",
                   n + 52, n, sum.c_str())));
    EXPECT_TRUE(Logged(L"TX GENERAL_REPLY for FIRST_PACKET rsp=0 sn=1"));
    EXPECT_TRUE(Logged(FormatText(
        L"SYS MIDDLE_PACKET ok start=40 end=%u chunk=%u highest=%u expected=%u wrote=yes", n - 1,
        n - 40, n, n)));
    EXPECT_TRUE(
        Logged(FormatText(L"SYS FINISH_PACKET checksum method=memory calc=%ls want=%ls match=yes",
                          sum.c_str(), sum.c_str())));
    EXPECT_TRUE(Logged(FormatText(L"SYS FINISH_PACKET OK: kind=text size=%u path=\"\"", n)));
    EXPECT_TRUE(Logged(L"TX GENERAL_REPLY for FINISH_PACKET rsp=0 sn=7"));
}

// The device is told an empty text arrived; there is simply nothing to put in the history.
TEST_F(InboundSessionTest, AnEmptyTextSucceedsWithoutAnEntry) {
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_TEXT, 0, 0))), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);
    EXPECT_TRUE(Logged(
        L"SYS FINISH_PACKET checksum method=memory calc=0x00000000 want=0x00000000 match=yes"));
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET OK: kind=text size=0 path=\"\""));
    EXPECT_TRUE(window_.entries.empty());
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
}

TEST_F(InboundSessionTest, SizeLimitsPerType) {
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_TEXT, 1048576, 0))), 0);
    ClearLines();
    // A refused announcement leaves the running session alone.
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_TEXT, 1048577, 0), 3)), 1);
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_IMAGE, 10485761, 0), 4)), 1);
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(9, 1048577, 0), 5)), 1);
    EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_FILE, 0x80000000u, 0, "a"), 6)),
              1);
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{L"TX GENERAL_REPLY fail FIRST_PACKET size sn=3",
                                         L"TX GENERAL_REPLY fail FIRST_PACKET size sn=4",
                                         L"TX GENERAL_REPLY fail FIRST_PACKET size sn=5",
                                         L"TX GENERAL_REPLY fail FIRST_PACKET size sn=6"}));
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_TRUE(Logged(L"TX GENERAL_REPLY fail FIRST_PACKET size sn=3"));

    Bytes shortBody(FIRST_PACKET_MIN_BODY - 1, 0);
    EXPECT_EQ(Answer(BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 8, shortBody)), 1);
    EXPECT_TRUE(Logged(L"TX GENERAL_REPLY fail FIRST_PACKET parse sn=8"));
}

TEST_F(InboundSessionTest, AFiftyMebibyteFileIsStreamedToTodaysFolder) {
    const Bytes payload = PatternBytes(50u << 20);
    EXPECT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "dir\\sub\\big.bin")), 0);
    const fs::path target = DayFolder() / "big.bin";
    EXPECT_EQ(fs::file_size(target), payload.size());  // reserved up front
    ASSERT_TRUE(SendChunks(payload, DEFAULT_CHUNK_SIZE));
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);

    EXPECT_TRUE(ReadFileBytes(target) == payload);
    ASSERT_EQ(window_.entries.size(), 1u);
    const ClipboardEntry& e = *window_.entries[0];
    EXPECT_EQ(e.kind, ENTRY_KIND_FILES);
    EXPECT_EQ(e.files, std::vector<std::wstring>{TextFromPath(target)});
    EXPECT_EQ(e.text, TextFromPath(target));
    EXPECT_EQ(e.dataSize, static_cast<int64_t>(payload.size()));
    EXPECT_TRUE(Logged(L"SYS FIRST_PACKET file opened path=\"" + TextFromPath(target) +
                       L"\" size=52428800"));
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET file closed after checksum"));
    EXPECT_TRUE(Logged(FormatText(
        L"SYS FINISH_PACKET checksum method=file_handle calc=0x%08X want=0x%08X match=yes",
        ProtocolChecksum(payload), ProtocolChecksum(payload))));
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET OK: kind=files size=52428800 path=\"" +
                       TextFromPath(target) + L"\""));
}

TEST_F(InboundSessionTest, FileNamesWithoutAUsableLastComponentAreRefused) {
    for (const char* name : {"   ", "dir/", "a\\b\\", "..", ". ", "..."}) {
        SCOPED_TRACE(name);
        ClearLines();
        EXPECT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_FILE, 4, 0, name))), 1);
        EXPECT_EQ(Lines(), (std::vector<std::wstring>{
                               L"SYS FIRST_PACKET file name empty",
                               L"TX GENERAL_REPLY fail FIRST_PACKET file name sn=1"}));
        EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    }
    EXPECT_TRUE(DayFolderNames().empty());
}

TEST_F(InboundSessionTest, UnsafeNamesFromTheDeviceLandSafelyInTodaysFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"CON", "_CON"},
        {"nul.txt", "_nul.txt"},
        {"COM1", "_COM1"},
        {"lpt\xC2\xB9.log", "_lpt\xC2\xB9.log"},
        {"a:b", "a_b"},
        {"x::$DATA", "x__$DATA"},
        {"ctl\x01\x1F.txt", "ctl__.txt"},
        {"trail. .", "trail"},
        {"q?<>|*\".txt", "q______.txt"},
        {"plain name.txt", "plain name.txt"},
    };
    for (const auto& [sent, stored] : cases) {
        SCOPED_TRACE(sent);
        const Bytes payload{'o', 'k'};
        ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, sent)), 0);
        ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 2)), 0);
        ASSERT_EQ(Answer(DeviceFrames::Finish()), 0);
        EXPECT_EQ(ReadFileBytes(DayFolder() / fs::u8path(stored)), payload);
    }
    EXPECT_EQ(DayFolderNames().size(), std::size(cases));
    // Nothing else was created anywhere under the data root.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (entry.is_regular_file() && entry.path().parent_path() != root_ / "logs")
            ++files;
    }
    EXPECT_EQ(files, std::size(cases));
}

TEST_F(InboundSessionTest, MiddleBeforeFirstIsRefused) {
    const Bytes payload{1, 2, 3};
    EXPECT_EQ(Answer(DeviceFrames::Middle(payload, 0, 3, 6)), 1);
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{L"SYS MIDDLE_PACKET no active session",
                                         L"TX GENERAL_REPLY fail MIDDLE_PACKET session sn=6"}));
    EXPECT_EQ(Answer(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(8, 0))), 1);
    EXPECT_TRUE(Logged(L"TX GENERAL_REPLY fail MIDDLE_PACKET head sn=2"));
}

TEST_F(InboundSessionTest, ADamagedChunkIsRefusedUntilItArrivesIntact) {
    const Bytes payload = PatternBytes(30);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "c.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 10)), 0);

    Bytes body = BuildMiddleBody(payload.data() + 10, 10, 10, 19);
    const uint32_t good = ReadLE32(body, 19);
    WriteLE32(body, 19, good + 1);
    ClearLines();
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(body, 4)), 1);
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{
                  FormatText(
                      L"SYS MIDDLE_PACKET pkg_crc mismatch calc=0x%08X recv=0x%08X start=10 end=19",
                      good, good + 1),
                  L"TX GENERAL_REPLY for MIDDLE_PACKET rsp=1 sn=4"}));
    Bytes firstChunkOnly(payload.size(), 0);
    std::copy(payload.begin(), payload.begin() + 10, firstChunkOnly.begin());
    EXPECT_EQ(ReadFileBytes(DayFolder() / "c.bin"), firstChunkOnly);

    EXPECT_EQ(Answer(DeviceFrames::Middle(payload, 10, 10)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Middle(payload, 20, 10)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "c.bin"), payload);
}

TEST_F(InboundSessionTest, ChunksWithoutDataOrPlaceAreAcknowledgedButNotWritten) {
    ASSERT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_FILE, 10, 0, "z.bin"))), 0);
    ClearLines();
    // Head only: nothing to check, nothing to write.
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0})), 0);
    EXPECT_TRUE(Logged(L"SYS MIDDLE_PACKET skip write: empty chunk start=0 end=0 chunk=0"));
    // One data byte and no room for a checksum: the check sees 0 and fails.
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x41})), 1);
    // Starting at the end of the payload.
    const Bytes one{0x55};
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(BuildMiddleBody(one.data(), 1, 10, 10))), 0);
    EXPECT_TRUE(
        Logged(L"SYS MIDDLE_PACKET skip write: file start=10 out of range expected=10 start=10 "
               L"end=10 chunk=1"));
    EXPECT_TRUE(
        Logged(L"SYS MIDDLE_PACKET ok start=10 end=10 chunk=1 highest=0 expected=10 wrote=no"));
    // Without the trailer flag every byte after the head is data.
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(Bytes{0x03, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0})), 0);
    EXPECT_TRUE(
        Logged(L"SYS MIDDLE_PACKET ok start=0 end=3 chunk=4 highest=4 expected=10 wrote=yes"));

    ASSERT_EQ(Answer(DeviceFrames::First(MakeDescriptor(DATA_TYPE_TEXT, 5, 0))), 0);
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(BuildMiddleBody(one.data(), 1, 5, 5))), 0);
    EXPECT_TRUE(
        Logged(L"SYS MIDDLE_PACKET skip write: memory start=5 size=5 start=5 end=5 chunk=1"));
}

TEST_F(InboundSessionTest, HighestFollowsChunkEndsAndTheChecksumCatchesGaps) {
    const Bytes payload = PatternBytes(2000);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_TEXT, payload, "")), 0);
    // Claims bytes 0..999 while carrying 10.
    EXPECT_EQ(Answer(DeviceFrames::MiddleBody(BuildMiddleBody(payload.data(), 10, 0, 999))), 0);
    EXPECT_TRUE(Logged(
        L"SYS MIDDLE_PACKET ok start=0 end=999 chunk=10 highest=1000 expected=2000 wrote=yes"));
    EXPECT_EQ(
        Answer(DeviceFrames::MiddleBody(BuildMiddleBody(payload.data() + 1990, 10, 1990, 5000))),
        0);
    EXPECT_TRUE(Logged(
        L"SYS MIDDLE_PACKET ok start=1990 end=5000 chunk=10 highest=2000 expected=2000 wrote=yes"));
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 1);
    EXPECT_TRUE(Logged(FormatText(
        L"SYS FINISH_PACKET result FAIL reason=checksum mismatch calc=0x%08X want=0x%08X",
        ProtocolChecksum(Bytes(payload.begin(), payload.begin() + 10)) +
            ProtocolChecksumContinue(0, payload.data() + 1990, 10, 1990),
        ProtocolChecksum(payload))));
    EXPECT_TRUE(window_.entries.empty());
}

TEST_F(InboundSessionTest, ChunksInReverseOrderComplete) {
    const Bytes payload = PatternBytes(25000);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_IMAGE, payload, "pic.png")), 0);
    for (size_t start = 20480;; start -= 10240) {
        const size_t n = std::min<size_t>(10240, payload.size() - start);
        ASSERT_EQ(Answer(DeviceFrames::Middle(payload, start, n)), 0);
        if (start == 0)
            break;
    }
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);
    ASSERT_EQ(window_.entries.size(), 1u);
    const ClipboardEntry& e = *window_.entries[0];
    EXPECT_EQ(e.kind, ENTRY_KIND_IMAGE);
    EXPECT_EQ(e.imageBytes, payload);
    EXPECT_EQ(e.imageFileName, L"pic.png");
    EXPECT_EQ(e.text, L"pic.png");
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET OK: kind=image size=25000 path=\"\""));
    // A copy is kept under clipboard_images as "<seconds>000_pic.png".
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(root_ / "clipboard_images"))
        copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    const std::string copyName = copies[0].filename().string();
    EXPECT_EQ(copyName.substr(copyName.size() - 11), "000_pic.png");
    EXPECT_EQ(ReadFileBytes(copies[0]), payload);
}

TEST_F(InboundSessionTest, FailedTransfersLeaveNoFileBehind) {
    const Bytes payload = PatternBytes(100);
    const fs::path target = DayFolder() / "part.bin";

    // Finished too early.
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "part.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 50)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 1);
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET FAIL: incomplete highest=50 expected=100"));
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET result FAIL reason=incomplete highest=50 expected=100"));
    EXPECT_FALSE(fs::exists(target));

    // Content that does not match the announced checksum.
    Bytes wrong = payload;
    wrong[3] ^= 0xFF;
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "part.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(wrong, 0, 100)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 1);
    EXPECT_FALSE(fs::exists(target));

    // Finish without any session.
    ClearLines();
    EXPECT_EQ(Answer(DeviceFrames::Finish(9)), 1);
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET FAIL: without active session"));
    EXPECT_TRUE(Logged(L"SYS FINISH_PACKET result FAIL reason=no active session"));
    EXPECT_TRUE(window_.entries.empty());
}

TEST_F(InboundSessionTest, AFileOfZeroBytesIsCheckedAgainByPath) {
    const Bytes payload(10, 0);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "zeros.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 10)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);
    EXPECT_TRUE(Logged(
        L"SYS FINISH_PACKET checksum method=file_path_fallback_handle_read_zero calc=0x00000000 "
        L"want=0x00000000 match=yes"));
    EXPECT_EQ(ReadFileBytes(DayFolder() / "zeros.bin"), payload);
}

TEST_F(InboundSessionTest, StartRequestDiscardsAnUnfinishedFileBeforeAnswering) {
    const Bytes payload = PatternBytes(100);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "half.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 50)), 0);
    const fs::path target = DayFolder() / "half.bin";
    ASSERT_TRUE(fs::exists(target));
    ClearLines();

    EXPECT_EQ(Answer(DeviceFrames::Start(3)), 0);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{L"SYS TRANS START_REQUEST",
                                         L"SYS ResetSession discard file path=\"" +
                                             TextFromPath(target) + L"\" handle=open",
                                         L"TX GENERAL_REPLY for START_REQUEST rsp=0 sn=3"}));
}

TEST_F(InboundSessionTest, AnAbandonedSessionStaysUntilTheNextTransferReplacesIt) {
    const Bytes payload = PatternBytes(100);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "old.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 50)), 0);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());

    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "new.bin")), 0);
    EXPECT_FALSE(fs::exists(DayFolder() / "old.bin"));
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
}

TEST_F(InboundSessionTest, ASecondFileOfTheSameNameReplacesTheFirst) {
    const Bytes first = PatternBytes(300, 1);
    const Bytes second = PatternBytes(20, 2);
    for (const Bytes* payload : {&first, &second}) {
        ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, *payload, "same.txt")), 0);
        ASSERT_TRUE(SendChunks(*payload, 128));
        ASSERT_EQ(Answer(DeviceFrames::Finish()), 0);
    }
    EXPECT_EQ(ReadFileBytes(DayFolder() / "same.txt"), second);
    EXPECT_EQ(DayFolderNames(), std::vector<std::string>{"same.txt"});
}

TEST_F(InboundSessionTest, AWindowThatCannotBePostedToStillGetsTheFileAndTheDeviceSuccess) {
    struct RefusingEntries : RecordingNotifier {
        bool PostReceivedEntry(std::unique_ptr<ClipboardEntry>) override { return false; }
    } window;
    GetTransferProtocol().Attach(&window, &serial_);
    const Bytes payload = PatternBytes(64);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "kept.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 64)), 0);
    EXPECT_EQ(Answer(DeviceFrames::Finish()), 0);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "kept.bin"), payload);
    bool warned = false;
    for (const auto& line : window.logLines) {
        warned |= line.find(L"SYS FINISH_PACKET WARN: notify UI failed (transfer ok locally)") !=
                  std::wstring::npos;
    }
    EXPECT_TRUE(warned);
    GetTransferProtocol().Detach();
}

TEST_F(InboundSessionTest, DetachDeletesAnUnfinishedFileButKeepsFinishedOnes) {
    const Bytes payload = PatternBytes(64);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "done.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 64)), 0);
    ASSERT_EQ(Answer(DeviceFrames::Finish()), 0);
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "cut.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 32)), 0);
    GetTransferProtocol().Detach();
    EXPECT_EQ(DayFolderNames(), std::vector<std::string>{"done.bin"});
}

TEST_F(InboundSessionTest, FinishingAFileClearsOutDayFoldersOlderThanAWeek) {
    const fs::path old = root_ / "files" / "2001-01-01";
    fs::create_directories(old / "sub");
    std::ofstream(old / "sub" / "x.bin") << "x";
    fs::create_directories(root_ / "files" / "notes");
    const Bytes payload{1};
    ASSERT_EQ(Answer(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "a.bin")), 0);
    ASSERT_EQ(Answer(DeviceFrames::Middle(payload, 0, 1)), 0);
    ASSERT_EQ(Answer(DeviceFrames::Finish()), 0);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(root_ / "files" / "notes"));
    EXPECT_TRUE(fs::exists(DayFolder() / "a.bin"));
}

TEST(ChecksumOfFiles, CountsPositionsOnAcrossReadPieces) {
    const fs::path path = fs::temp_directory_path() / "zovrel-checksum-pieces.bin";
    const Bytes content = PatternBytes(600 * 1024 + 3);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    const std::wstring text = TextFromPath(path);
    const int64_t size = static_cast<int64_t>(content.size());

    EXPECT_EQ(ChecksumFileByPath(text, size), ProtocolChecksum(content));
    EXPECT_EQ(ChecksumFileByPath(text, 262145), ProtocolChecksum(content.data(), 262145));
    EXPECT_EQ(ChecksumFileByPath(text, size + 1000), ProtocolChecksum(content));  // shorter file
    EXPECT_EQ(ChecksumFileByPath(text, 0), 0u);
    EXPECT_EQ(ChecksumFileByPath(text + L".missing", size), 0u);
    EXPECT_EQ(ChecksumFileByPath(L"", size), 0u);

    ReceivedFile file;
    ASSERT_TRUE(file.OpenForReading(text));
    EXPECT_EQ(ChecksumOpenFile(file, size), ProtocolChecksum(content));
    file.Close();
    EXPECT_EQ(ChecksumOpenFile(file, size), 0u);
    fs::remove(path);
}

}  // namespace
}  // namespace zovrel::test
