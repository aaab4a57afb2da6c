#include "transfer/inbound_device.h"

namespace zovrel::test {
namespace {

using InboundSessionTest = EngineTest;

TEST_F(InboundSessionTest, TextArrivesInChunksAndIsPostedAsAnEntry) {
    const std::string text = "héllo, 世界 — a text long enough for three chunks";
    const Bytes payload(text.begin(), text.end());
    EXPECT_EQ(Answer(First(DATA_TYPE_TEXT, payload)), 0);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_TRUE(SendAll(payload, 20));
    EXPECT_EQ(Answer(Finish(7)), 0);
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    ASSERT_EQ(window_.entries.size(), 1u);
    EXPECT_EQ(ToUtf8(window_.entries[0]->text), text);
    // Nothing to put in the history, but the device is told an empty text arrived.
    EXPECT_EQ(Answer(First(DATA_TYPE_TEXT, {})), 0);
    Take();
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_THAT(Take(), Contains(L"SYS FINISH_PACKET checksum method=memory calc=0x00000000 "
                                 L"want=0x00000000 match=yes"));
    EXPECT_EQ(window_.entries.size(), 1u);
}

TEST_F(InboundSessionTest, AnnouncementsBeyondTheLimitsAreRefusedAndLeaveTheSessionAlone) {
    EXPECT_EQ(Answer(Announce(DATA_TYPE_TEXT, 1048576)), 0);
    for (const Bytes& frame :
         {Announce(DATA_TYPE_TEXT, 1048577), Announce(DATA_TYPE_IMAGE, 10485761),
          Announce(9, 1048577), Announce(DATA_TYPE_FILE, 0x80000000u),
          BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1, Bytes(52, 0))}) {
        EXPECT_EQ(Answer(frame), 1);
    }
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
}

TEST_F(InboundSessionTest, AFiftyMebibyteFileIsStreamedToTodaysFolder) {
    const fs::path old = root_ / "files" / "2001-01-01";
    fs::create_directories(old);
    const Bytes payload = PatternBytes(50u << 20);
    const fs::path target = DayFolder() / "big.bin";
    EXPECT_EQ(Answer(First(DATA_TYPE_FILE, payload, L"dir\\sub\\big.bin")), 0);
    EXPECT_EQ(fs::file_size(target), payload.size());  // reserved up front
    ASSERT_TRUE(SendAll(payload, DEFAULT_CHUNK_SIZE));
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_TRUE(ReadFileBytes(target) == payload);
    ASSERT_EQ(window_.entries.size(), 1u);
    EXPECT_EQ(window_.entries[0]->files, Texts{TextFromPath(target)});
    EXPECT_THAT(Take(L"SYS FINISH_PACKET checksum"),
                Contains(::testing::HasSubstr(L"method=file_handle")));
    EXPECT_FALSE(fs::exists(old)) << "day folders older than a week go once a file has arrived";
}

// Names come from the device: none may reach a device file, a stream or another folder, and
// one without a usable last component is refused.
TEST_F(InboundSessionTest, NamesAreMadeSafeOrRefused) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"nul.txt", "_nul.txt"},
        {L"COM1", "_COM1"},
        {L"x::$DATA", "x__$DATA"},
        {L"c\x01?.txt", "c__.txt"},
        {L"trail. .", "trail"},
        {L"..\\..\\up.txt", "up.txt"},
        {L"dir/", ""},
        {L"..", ""},
    };
    const Bytes payload{'o', 'k'};
    std::vector<std::string> stored;
    for (const auto& [sent, safe] : cases) {
        SCOPED_TRACE(ToUtf8(sent));
        ASSERT_EQ(Answer(First(DATA_TYPE_FILE, payload, sent)), safe.empty() ? 1 : 0);
        if (safe.empty()) {
            EXPECT_THAT(Take(), Contains(L"SYS FIRST_PACKET file name empty"));
            continue;
        }
        ASSERT_TRUE(SendAll(payload, 2));
        ASSERT_EQ(Answer(Finish()), 0);
        EXPECT_EQ(ReadFileBytes(DayFolder() / fs::u8path(safe)), payload);
        stored.push_back(safe);
    }
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(DayFolderNames(), stored);
}

TEST_F(InboundSessionTest, ChunksAreCheckedAndPlacedByTheirHead) {
    const Bytes payload = PatternBytes(30);
    EXPECT_EQ(Answer(Middle(payload, 0, 1)), 1);  // no session
    EXPECT_EQ(Answer(Middle(Bytes(8, 0))), 1);
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, payload, L"c.bin")), 0);
    // Chunks may come in any order; a damaged one is refused and written only when resent.
    ASSERT_EQ(Answer(Middle(payload, 20, 10)), 0);
    Bytes body = BuildMiddleBody(payload.data() + 10, 10, 10, 19);
    const uint32_t good = ReadLE32(body, 19);
    WriteLE32(body, 19, good + 1);
    Take();
    EXPECT_EQ(Answer(Middle(body, 4)), 1);
    EXPECT_EQ(Take(), (Texts{FormatText(L"SYS MIDDLE_PACKET pkg_crc mismatch calc=0x%08X "
                                        L"recv=0x%08X start=10 end=19",
                                        good, good + 1),
                             L"TX GENERAL_REPLY for MIDDLE_PACKET rsp=1 sn=4"}));
    // Head only: nothing to check or write. One data byte without room for pkg_crc: refused.
    EXPECT_EQ(Answer(Middle(Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0})), 0);
    EXPECT_EQ(Answer(Middle(Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x41})), 1);
    EXPECT_EQ(Answer(Middle(Bytes(31, 1), 30, 1)), 0);  // at the end: acknowledged, not written
    EXPECT_EQ(Answer(Middle(payload, 10, 10)), 0);
    EXPECT_EQ(Answer(Middle(payload, 0, 10)), 0);
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "c.bin"), payload);
}

TEST_F(InboundSessionTest, HighestFollowsChunkEndsAndTheChecksumCatchesGaps) {
    const Bytes payload = PatternBytes(2000);
    ASSERT_EQ(Answer(First(DATA_TYPE_IMAGE, payload)), 0);
    EXPECT_EQ(Answer(Middle(payload, 0, 10, 5000)), 0);
    EXPECT_EQ(Answer(Middle(payload, 1990, 10, 2009)), 0);
    EXPECT_EQ(Answer(Middle(Bytes(2010, 1), 2000, 10)), 0);  // beyond the end: not written
    EXPECT_EQ(Answer(Finish()), 1);
    EXPECT_THAT(Take(), Contains(L"SYS MIDDLE_PACKET ok start=0 end=5000 chunk=10 highest=2000 "
                                 L"expected=2000 wrote=yes"));
    EXPECT_TRUE(window_.entries.empty());
}

TEST_F(InboundSessionTest, FailedOrInterruptedFilesLeaveNothingBehind) {
    Bytes payload = PatternBytes(100), wrong = payload;
    wrong[3] ^= 0xFF;
    for (const Bytes* sent : {&payload, &wrong}) {
        ASSERT_EQ(Answer(First(DATA_TYPE_FILE, payload, L"part.bin")), 0);
        ASSERT_EQ(Answer(Middle(*sent, 0, sent == &payload ? 50 : 100)), 0);
        EXPECT_EQ(Answer(Finish()), 1);
    }
    EXPECT_EQ(Take(L"SYS FINISH_PACKET result"),
              (Texts{L"SYS FINISH_PACKET result FAIL reason=incomplete highest=50 expected=100",
                     FormatText(L"SYS FINISH_PACKET result FAIL reason=checksum mismatch "
                                L"calc=0x%08X want=0x%08X",
                                ProtocolChecksum(wrong), ProtocolChecksum(payload))}));
    EXPECT_EQ(Answer(Finish()), 1);  // no session any more
    EXPECT_TRUE(DayFolderNames().empty());

    // An abandoned session stays until a START_REQUEST, which discards its file first.
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, payload, L"half.bin")), 0);
    ASSERT_EQ(Answer(Middle(payload, 0, 50)), 0);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    Take();
    EXPECT_EQ(Answer(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 3)), 0);
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    EXPECT_EQ(Take(), (Texts{L"SYS TRANS START_REQUEST",
                             L"SYS ResetSession discard file path=\"" +
                                 TextFromPath(DayFolder() / "half.bin") + L"\" handle=open",
                             L"TX GENERAL_REPLY for START_REQUEST rsp=0 sn=3"}));
    EXPECT_TRUE(DayFolderNames().empty());
}

TEST_F(InboundSessionTest, FinishedFilesOutliveRepeatsFailedPostsAndDetach) {
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, Bytes(10, 0), L"same.txt")), 0);
    ASSERT_TRUE(SendAll(Bytes(10, 0), 10));
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_THAT(Take(), Contains(L"SYS FINISH_PACKET checksum method=file_path_fallback_handle_"
                                 L"read_zero calc=0x00000000 want=0x00000000 match=yes"));
    window_.accept = false;  // the window cannot take the entry: the file stays, the device is ok
    const Bytes second = PatternBytes(20);
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, second, L"same.txt")), 0);
    ASSERT_TRUE(SendAll(second, 20));
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "same.txt"), second);
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, second, L"cut.bin")), 0);
    GetTransferProtocol().Detach();
    EXPECT_EQ(DayFolderNames(), std::vector<std::string>{"same.txt"});
}

}  // namespace
}  // namespace zovrel::test
