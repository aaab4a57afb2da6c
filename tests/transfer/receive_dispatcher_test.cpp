#include "protocol/diagnostics.h"
#include "transfer/inbound_device.h"

namespace zovrel::test {
namespace {

using DispatcherTest = EngineTest;

TEST_F(DispatcherTest, QueryStartAndEchoAreAnsweredByteForByte) {
    EXPECT_EQ(
        Dispatch(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 9)),
        Frames{BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY_RSP, 9, Bytes{0x40, 0x28, 0, 0, 0, 0})});
    EXPECT_EQ(Dispatch(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 5)),
              (Frames{{0x57, 0xAB, 0x06, 0x05, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x03, 0x88, 0x01, 0x00, 0x00}}));
    Take();
    // An echo goes back as it came, even with a bad TLV, but without bytes after the frame.
    const Bytes bad{0x14, 0x00, 0x03, 0x00, 0x00};
    const Bytes echo = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 12, bad);
    Bytes withTail = echo;
    withTail.push_back(0x57);
    EXPECT_EQ(Dispatch(withTail), Frames{echo});
    EXPECT_EQ(device_.echoStamps, 1);
    EXPECT_EQ(Take(), Texts{L"SYS PERIPHERAL ECHO sn=12 tlv parse failed (payload too short "
                            L"(5 < 6)) payload=5 B hex=[" +
                            HexBytes(bad) + L"]"});
}

TEST_F(DispatcherTest, FramesOutsideTheProtocolAreRefusedOrIgnored) {
    const Bytes tlv{0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 'x'};
    Bytes damaged = Finish(3);
    damaged.back() ^= 0x01;
    for (const Bytes& frame :
         {BuildFrame(0x05, START_REQUEST, 1), BuildFrame(0x05, PERIPHERAL_ECHO, 1, tlv),
          BuildFrame(CHANNEL_PERIPHERAL, START_REQUEST, 1), damaged, Bytes{0x57, 0xAB, 0x06}}) {
        EXPECT_TRUE(Dispatch(frame).empty());
    }
    EXPECT_EQ(Dispatch(BuildFrame(CHANNEL_TRANSFER, PERIPHERAL_ECHO, 4, tlv)),
              Frames{Reply(4, 1, 3)});
    EXPECT_EQ(Take(), Texts{L"TX GENERAL_REPLY fail unsupported type sn=4"});
    EXPECT_EQ(device_.echoStamps, 0);
}

TEST_F(DispatcherTest, RepliesAreQueuedForARunningSendAndRefusedOtherwise) {
    auto engine = GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_FALSE(engine->BeginSend());
    EXPECT_TRUE(GetTransferProtocol().IsSending());
    EXPECT_TRUE(Dispatch(Reply(3)).empty());
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 4, Bytes{1})).empty());
    EXPECT_EQ(Take(), (Texts{L"SYS TRANS GENERAL_REPLY sn=3 → 发送状态机 rsp=0(成功) appID=2",
                             L"SYS TRANS GENERAL_REPLY sn=4 → 发送状态机（非对端入站落盘）"}));
    PendingReply r;
    ASSERT_TRUE(engine->TakeReply(r));  // oldest first
    EXPECT_EQ(r.sn, 3u);
    EXPECT_EQ(r.payload, (Bytes{0, 2}));
    GetTransferProtocol().CancelSend();
    EXPECT_TRUE(engine->CancelRequested());
    engine->EndSend();

    EXPECT_EQ(Dispatch(Reply(3)), Frames{Reply(3, 1, 3)});
    // Neither the unread reply nor a cancel from before reaches the next send.
    GetTransferProtocol().CancelSend();
    ASSERT_TRUE(engine->BeginSend());
    EXPECT_FALSE(engine->CancelRequested());
    EXPECT_FALSE(engine->TakeReply(r));
    engine->EndSend();
}

TEST_F(DispatcherTest, NothingIsAnsweredOrLoggedWhileDetached) {
    GetTransferProtocol().Detach();
    EXPECT_TRUE(Dispatch(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 9)).empty());
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    LogSys(L"lost");
    GetTransferProtocol().Attach(&window_, &device_);
    LogSys(L"kept");
    EXPECT_EQ(Take(), Texts{L"SYS kept"});
}

}  // namespace
}  // namespace zovrel::test
