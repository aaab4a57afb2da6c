#include <gtest/gtest.h>

#include <thread>

#include "protocol/diagnostics.h"
#include "transfer/inbound_device.h"

namespace zovrel::test {
namespace {

using DispatcherTest = InboundTest;

TEST_F(DispatcherTest, DeviceQueryIsAnsweredWithThePacketSizeWeAccept) {
    const ReplyList replies = Dispatch(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 9));
    ASSERT_EQ(replies.size(), 1u);
    Frame f;
    ASSERT_TRUE(ParseFrame(replies[0], f));
    EXPECT_EQ(f.header.channel, CHANNEL_TRANSFER);
    EXPECT_EQ(f.header.type, DEVICE_QUERY_RSP);
    EXPECT_EQ(f.header.sn, 9u);
    EXPECT_EQ(f.payload, (Bytes{0x40, 0x28, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{L"SYS TRANS DEVICE_QUERY", L"TX DEVICE_QUERY_RSP"}));
}

TEST_F(DispatcherTest, StartRequestIsAcknowledged) {
    const ReplyList replies = Dispatch(DeviceFrames::Start(5));
    ASSERT_EQ(replies.size(), 1u);
    // The exact bytes the device expects for a success reply to sn 5.
    EXPECT_EQ(replies[0],
              (Bytes{0x57, 0xAB, 0x06, 0x05, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,
                     0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x03, 0x88, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Lines(),
              (std::vector<std::wstring>{L"SYS TRANS START_REQUEST",
                                         L"TX GENERAL_REPLY for START_REQUEST rsp=0 sn=5"}));
}

TEST_F(DispatcherTest, EchoComesBackByteForByteWhateverItCarries) {
    const Bytes good{0x14, 0x00, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
    const Bytes goodFrame = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 11, good);
    EXPECT_EQ(Dispatch(goodFrame), ReplyList{goodFrame});

    const Bytes bad{0x14, 0x00, 0x03, 0x00, 0x00};  // too short for a TLV
    const Bytes badFrame = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 12, bad);
    EXPECT_EQ(Dispatch(badFrame), ReplyList{badFrame});

    EXPECT_EQ(serial_.echoStamps.load(), 2);
    EchoTlv tlv;
    ASSERT_TRUE(ParseEchoTlv(good, tlv));
    EXPECT_TRUE(
        Logged(L"SYS PERIPHERAL ECHO sn=11 tlv.type=0x0014 value=" + DescribeTlvValue(tlv)));
    EXPECT_TRUE(
        Logged(L"SYS PERIPHERAL ECHO sn=12 tlv parse failed (payload too short (5 < 6)) payload=5 "
               L"B hex=[" +
               HexBytes(bad) + L"]"));
}

TEST_F(DispatcherTest, EchoAnswerLeavesOutBytesAfterTheFrame) {
    const Bytes frame = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 1,
                                   Bytes{0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 'x'});
    Bytes withTail = frame;
    withTail.push_back(0x57);
    EXPECT_EQ(Dispatch(withTail), ReplyList{frame});
}

TEST_F(DispatcherTest, UnsupportedTypesOnTheTransferChannelAreRefused) {
    const Bytes echo{0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 'x'};
    const ReplyList replies = Dispatch(BuildFrame(CHANNEL_TRANSFER, PERIPHERAL_ECHO, 4, echo));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], BuildGeneralReply(CHANNEL_TRANSFER, 4, 1, 3));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"TX GENERAL_REPLY fail unsupported type sn=4"}));
    EXPECT_EQ(serial_.echoStamps.load(), 0);
}

TEST_F(DispatcherTest, OtherChannelsAndNonEchoHeartbeatTypesAreIgnoredSilently) {
    EXPECT_TRUE(Dispatch(BuildFrame(0x05, START_REQUEST, 1)).empty());
    EXPECT_TRUE(
        Dispatch(BuildFrame(0x05, PERIPHERAL_ECHO, 1, Bytes{0x14, 0, 1, 0, 0, 0, 1})).empty());
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_PERIPHERAL, START_REQUEST, 1)).empty());
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(serial_.echoStamps.load(), 0);
}

TEST_F(DispatcherTest, DamagedFramesGetNoAnswer) {
    Bytes frame = DeviceFrames::Start(3);
    frame.back() ^= 0x01;
    EXPECT_TRUE(Dispatch(frame).empty());
    EXPECT_TRUE(Dispatch(Bytes{0x57, 0xAB, 0x06}).empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(DispatcherTest, RepliesGoToTheRunningSendAndAreRefusedOtherwise) {
    auto engine = GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine);
    const Bytes reply = BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 3, Bytes{0, 2});

    ASSERT_TRUE(engine->BeginSend());
    EXPECT_TRUE(GetTransferProtocol().IsSending());
    EXPECT_TRUE(Dispatch(reply).empty());
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 4, Bytes{1})).empty());
    EXPECT_TRUE(
        Dispatch(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY_RSP, 1, Bytes{0x40, 0x28, 0, 0, 0, 0}))
            .empty());
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{
                           L"SYS TRANS GENERAL_REPLY sn=3 → 发送状态机 rsp=0(成功) appID=2",
                           L"SYS TRANS GENERAL_REPLY sn=4 → 发送状态机（非对端入站落盘）",
                           L"SYS TRANS DEVICE_QUERY_RSP sn=1 → 发送状态机（非对端入站落盘）"}));

    PendingReply r;
    ASSERT_TRUE(engine->TakeReply(r));  // oldest first
    EXPECT_EQ(r.type, GENERAL_REPLY);
    EXPECT_EQ(r.sn, 3u);
    EXPECT_EQ(r.payload, (Bytes{0, 2}));
    ASSERT_TRUE(engine->TakeReply(r));
    EXPECT_EQ(r.payload, Bytes{1});
    ASSERT_TRUE(engine->TakeReply(r));
    EXPECT_EQ(r.type, DEVICE_QUERY_RSP);
    EXPECT_FALSE(engine->TakeReply(r));

    engine->EndSend();
    EXPECT_FALSE(GetTransferProtocol().IsSending());
    EXPECT_EQ(Dispatch(reply), ReplyList{BuildGeneralReply(CHANNEL_TRANSFER, 3, 1, 3)});
    EXPECT_FALSE(engine->TakeReply(r));
}

TEST_F(DispatcherTest, OnlyOneSendAtATimeAndEachStartsClean) {
    auto engine = GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_FALSE(engine->BeginSend());
    Dispatch(BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 1, Bytes{0, 3}));
    GetTransferProtocol().CancelSend();
    EXPECT_TRUE(engine->CancelRequested());
    engine->EndSend();

    // A cancel left over from before and a stale reply must not reach the next send.
    GetTransferProtocol().CancelSend();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_FALSE(engine->CancelRequested());
    PendingReply r;
    EXPECT_FALSE(engine->TakeReply(r));
    engine->EndSend();
}

TEST_F(DispatcherTest, NothingIsAnsweredWhileDetached) {
    GetTransferProtocol().Detach();
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 9)).empty());
    EXPECT_TRUE(
        Dispatch(BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 1, Bytes{0x14, 0, 1, 0, 0, 0, 1}))
            .empty());
    EXPECT_FALSE(GetTransferProtocol().IsSending());
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    EXPECT_FALSE(GetTransferProtocol().AttachedEngine());
    LogSys(L"lost");
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(serial_.echoStamps.load(), 0);

    GetTransferProtocol().Attach(&window_, &serial_);
    LogSys(L"kept");
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"SYS kept"});
}

TEST_F(DispatcherTest, ASecondAttachOnlyReplacesTheTargets) {
    auto engine = GetTransferProtocol().AttachedEngine();
    RecordingNotifier other;
    FakeSerialChannel otherSerial;
    GetTransferProtocol().Attach(&other, &otherSerial);
    EXPECT_EQ(GetTransferProtocol().AttachedEngine(), engine);
    Dispatch(BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 1, Bytes{0x14, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(otherSerial.echoStamps.load(), 1);
    EXPECT_EQ(serial_.echoStamps.load(), 0);
    EXPECT_EQ(other.logLines.size(), 1u);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(DispatcherTest, OtherThreadsMayAskAndCancelWhileFramesArrive) {
    std::atomic<bool> done{false};
    std::thread reader([&] {
        const Bytes payload = PatternBytes(200000);
        for (int round = 0; round < 5; ++round) {
            Dispatch(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "busy.bin"));
            for (size_t start = 0; start < payload.size(); start += 10240) {
                Dispatch(DeviceFrames::Middle(payload, start,
                                              std::min<size_t>(10240, payload.size() - start)));
                Dispatch(BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 1, Bytes{0, 2}));
            }
            Dispatch(DeviceFrames::Finish());
        }
        done = true;
    });
    std::thread sender([&] {
        PendingReply r;
        while (!done) {
            if (auto engine = GetTransferProtocol().AttachedEngine();
                engine && engine->BeginSend()) {
                while (engine->TakeReply(r)) {
                }
                engine->EndSend();
            }
        }
    });
    int receivingSeen = 0;
    while (!done) {
        receivingSeen += GetTransferProtocol().IsReceiving() ? 1 : 0;
        GetTransferProtocol().IsSending();
        GetTransferProtocol().CancelSend();
    }
    reader.join();
    sender.join();
    EXPECT_GT(receivingSeen, 0);
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    EXPECT_EQ(window_.entries.size(), 5u);
}

TEST_F(DispatcherTest, DetachWhileAFrameIsHandledIsSafe) {
    std::thread reader([&] {
        const Bytes payload = PatternBytes(100000);
        for (int round = 0; round < 20; ++round) {
            Dispatch(DeviceFrames::FirstFor(DATA_TYPE_FILE, payload, "gone.bin"));
            Dispatch(DeviceFrames::Middle(payload, 0, 10240));
        }
    });
    for (int i = 0; i < 20; ++i) {
        GetTransferProtocol().Detach();
        GetTransferProtocol().Attach(&window_, &serial_);
    }
    reader.join();
    GetTransferProtocol().Detach();
    // An unfinished file never outlives the engine that received it.
    EXPECT_TRUE(DayFolderNames().empty());
}

}  // namespace
}  // namespace zovrel::test
