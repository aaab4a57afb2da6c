#include "transfer/inbound_device.h"

namespace zovrel::test {
namespace {

// (The DEVICE_QUERY's answer is the serial link tests'.)
TEST_F(EngineTest, StartAndEchoAreAnsweredByteForByte) {
    EXPECT_EQ(Dispatch(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 5)),
              Frames{Reply(5, RSP_SUCCESS, OUR_APP_ID)});  // the reply's bytes: protocol tests
    // An echo goes back as it came, even with a bad TLV, but without bytes after the frame.
    const Bytes echo = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 12, Bytes{0x14, 0, 3, 0, 0});
    Bytes withTail = echo;
    withTail.push_back(0x57);
    EXPECT_EQ(Dispatch(withTail), Frames{echo});
    EXPECT_EQ(device_.echoStamps, 1);
}

TEST_F(EngineTest, FramesOutsideTheProtocolAreRefusedOrIgnored) {
    const Bytes tlv{0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 'x'};
    Bytes damaged = Finish(3);
    damaged.back() ^= 0x01;
    for (const Bytes& frame :
         {BuildFrame(0x05, START_REQUEST, 1), BuildFrame(0x05, PERIPHERAL_ECHO, 1, tlv),
          BuildFrame(CHANNEL_PERIPHERAL, START_REQUEST, 1), damaged, Bytes{0x57, 0xAB, 0x06}})
        EXPECT_TRUE(Dispatch(frame).empty());
    EXPECT_EQ(Dispatch(BuildFrame(CHANNEL_TRANSFER, PERIPHERAL_ECHO, 4, tlv)),
              Frames{Reply(4, 1, 3)});
}

TEST_F(EngineTest, RepliesAreQueuedForARunningSendAndRefusedOtherwise) {
    auto engine = GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_TRUE(Dispatch(Reply(3)).empty());
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 4, Bytes{1})).empty());
    PendingReply r;
    ASSERT_TRUE(engine->TakeReply(r));  // oldest first
    EXPECT_EQ(std::tuple(r.sn, r.payload), std::tuple(3u, Bytes{0, 2}));
    engine->EndSend();

    EXPECT_EQ(Dispatch(Reply(3)), Frames{Reply(3, 1, 3)});
    // Neither the unread reply nor a cancel from before reaches the next send.
    GetTransferProtocol().CancelSend();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_FALSE(engine->CancelRequested());
    EXPECT_FALSE(engine->TakeReply(r));
    engine->EndSend();
}

TEST_F(EngineTest, TextArrivesInChunksAndAnEmptyTextIsAcknowledgedWithoutAnEntry) {
    const std::string text = "héllo, 世界 — a text long enough for three chunks";
    const Bytes payload(text.begin(), text.end());
    EXPECT_EQ(Answer(First(DATA_TYPE_TEXT, payload)), 0);
    EXPECT_TRUE(SendAll(payload, 20));
    EXPECT_EQ(Answer(Finish(7)), 0);
    EXPECT_EQ(Answer(First(DATA_TYPE_TEXT, {})), 0);
    EXPECT_EQ(Answer(Finish()), 0);
    ASSERT_EQ(window_.entries.size(), 1u);
    EXPECT_EQ(ToUtf8(window_.entries[0]->text), text);
}

// Announces `size` bytes without sending any.
Bytes Announce(uint16_t type, uint32_t size) {
    Bytes d = BuildTransferDescriptor(type, {}, L"a");
    WriteLE32(d, 40, size + static_cast<uint32_t>(DESCRIPTOR_SIZE));
    WriteLE32(d, 48, ProtocolChecksum(d.data(), 48));
    return EngineTest::First(d);
}

TEST_F(EngineTest, AnnouncementsBeyondTheLimitsAreRefusedAndLeaveTheSessionAlone) {
    EXPECT_EQ(Answer(Announce(DATA_TYPE_TEXT, 1048576)), 0);
    for (const Bytes& frame :
         {Announce(DATA_TYPE_TEXT, 1048577), Announce(DATA_TYPE_IMAGE, 10485761),
          Announce(9, 1048577), Announce(DATA_TYPE_FILE, 0x80000000u),
          BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1, Bytes(52, 0))})
        EXPECT_EQ(Answer(frame), 1);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
}

// Names come from the device: one without a usable last part is refused. (That every name kept
// is clean and inside today's folder is the dispatch fuzz target's; the last part is taken in the
// streamed file's case.)
TEST_F(EngineTest, NamesWithoutAUsableLastPartAreRefused) {
    for (const wchar_t* name : {L"dir/", L".."})
        EXPECT_FALSE(ReceiveFile(name, Bytes{'o', 'k'})) << ToUtf8(name);
    EXPECT_TRUE(DayFolderNames().empty());
}

// Chunks may come in any order; a damaged one is refused and written only when resent.
TEST_F(EngineTest, ChunksAreCheckedAndPlacedByTheirHead) {
    const Bytes payload = PatternBytes(30);
    EXPECT_EQ(Answer(Middle(payload, 0, 1)), 1);  // no session
    EXPECT_EQ(Answer(Middle(Bytes(8, 0))), 1);    // head cut short
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, payload, L"c.bin")), 0);
    ASSERT_EQ(Answer(Middle(payload, 20, 10)), 0);
    Bytes damaged = BuildMiddleBody(payload.data() + 10, 10, 10, 19);
    damaged.back() ^= 0x01;
    EXPECT_EQ(Answer(Middle(damaged)), 1);
    // One data byte without room for pkg_crc: refused. Past the end: acknowledged, not written.
    EXPECT_EQ(Answer(Middle(Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x41})), 1);
    EXPECT_EQ(Answer(Middle(Bytes(31, 1), 30, 1)), 0);
    EXPECT_EQ(Answer(Middle(payload, 10, 10)), 0);
    EXPECT_EQ(Answer(Middle(payload, 0, 10)), 0);
    EXPECT_EQ(Answer(Finish()), 0);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "c.bin"), payload);

    // An end claiming more than the chunk carries cannot hide a gap: the checksum catches it.
    ASSERT_EQ(Answer(First(DATA_TYPE_IMAGE, payload)), 0);
    EXPECT_EQ(Answer(Middle(payload, 0, 10, 5000)), 0);
    EXPECT_EQ(Answer(Middle(Bytes(40, 1), 30, 10)), 0);
    EXPECT_EQ(Answer(Finish()), 1);
}

// A second file of the same name replaces the first only once it has arrived whole: while it
// arrives, and when it fails or is abandoned, the older file stays as it was.
TEST_F(EngineTest, AnOlderSameNamedFileStaysUntilTheNewOneHasArrivedWhole) {
    const Bytes older = PatternBytes(100, 1), newer = PatternBytes(150, 2);
    const fs::path target = DayFolder() / "same.txt";
    ASSERT_TRUE(ReceiveFile(L"same.txt", older));

    const Bytes ends[] = {Finish(), BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0),
                          First(DATA_TYPE_TEXT, Bytes{'x'})};
    for (const Bytes& end : ends) {
        ASSERT_EQ(Answer(First(DATA_TYPE_FILE, newer, L"same.txt")), 0);
        EXPECT_EQ(ReadFileBytes(target), older);
        ASSERT_EQ(Answer(Middle(newer, 0, 100)), 0);
        EXPECT_EQ(ReadFileBytes(target), older);
        Answer(end);
        EXPECT_EQ(ReadFileBytes(target), older);
        EXPECT_EQ(DayFolderNames(), std::set<std::string>{"same.txt"});
    }
    ASSERT_EQ(Answer(Finish()), 1);  // ends the text session of the last round

    ASSERT_TRUE(ReceiveFile(L"same.txt", newer));
    EXPECT_EQ(ReadFileBytes(target), newer);
    EXPECT_EQ(DayFolderNames(), std::set<std::string>{"same.txt"});
    ASSERT_EQ(window_.entries.size(), 2u);
    EXPECT_EQ(window_.entries[1]->files, Texts{TextFromPath(target)});
}

// A program that holds the older file open keeps it from being replaced on Windows; there the
// new file lands beside it under a counted name, as it does everywhere beside a folder of that
// name, which no file can replace. Elsewhere the open file goes on living under no name.
TEST_F(EngineTest, AnOlderFileHeldOpenIsNeitherReplacedNorLost) {
    const Bytes older = PatternBytes(70, 1), newer = PatternBytes(90, 2);
    ASSERT_TRUE(ReceiveFile(L"open.txt", older));
    ReceivedFile reader;
    ASSERT_TRUE(reader.OpenForReading(TextFromPath(DayFolder() / "open.txt")));
    ASSERT_TRUE(ReceiveFile(L"open.txt", newer));
    reader.Close();
#ifdef _WIN32
    EXPECT_EQ(ReadFileBytes(DayFolder() / "open.txt"), older);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "open (1).txt"), newer);
#else
    EXPECT_EQ(ReadFileBytes(DayFolder() / "open.txt"), newer);
    EXPECT_EQ(DayFolderNames(), std::set<std::string>{"open.txt"});
#endif

    fs::create_directories(DayFolder() / "held.txt" / "inside");
    ASSERT_TRUE(ReceiveFile(L"held.txt", older));
    ASSERT_TRUE(ReceiveFile(L"held.txt", newer));
    EXPECT_EQ(ReadFileBytes(DayFolder() / "held (1).txt"), older);
    EXPECT_EQ(ReadFileBytes(DayFolder() / "held (2).txt"), newer);
    ASSERT_EQ(window_.entries.size(), 4u);
    EXPECT_EQ(window_.entries[3]->files, Texts{TextFromPath(DayFolder() / "held (2).txt")});
}

// A file lands in today's folder under the last part of its name; day folders older than a
// week go once it has arrived. A finished file stays when the window cannot take its entry, and
// an all-zero file, which sums to zero, is not taken for one that could not be read.
TEST_F(EngineTest, FilesAreStreamedToTodaysFolderAndOnlyFinishedOnesStay) {
    const fs::path old = root_ / "files" / "2001-01-01";
    fs::create_directories(old);
    const Bytes big = PatternBytes(50u << 20);
    const fs::path target = DayFolder() / "big.bin";
    ASSERT_TRUE(ReceiveFile(L"dir\\sub\\big.bin", big, DEFAULT_CHUNK_SIZE));
    EXPECT_TRUE(ReadFileBytes(target) == big);
    ASSERT_EQ(window_.entries.size(), 1u);
    EXPECT_EQ(window_.entries[0]->files, Texts{TextFromPath(target)});
    EXPECT_FALSE(fs::exists(old));

    window_.accept = false;
    ASSERT_TRUE(ReceiveFile(L"big.bin", Bytes(10, 0)));
    EXPECT_EQ(ReadFileBytes(target), Bytes(10, 0));
    ASSERT_EQ(Answer(First(DATA_TYPE_FILE, big, L"cut.bin")), 0);
    GetTransferProtocol().Detach();
    EXPECT_EQ(DayFolderNames(), std::set<std::string>{"big.bin"});
}

}  // namespace
}  // namespace zovrel::test
