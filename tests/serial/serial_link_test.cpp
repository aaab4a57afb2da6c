#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "base/paths.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "serial/serial_link.h"
#include "settings/data_root.h"
#include "support/fake_serial_port.h"
#include "support/fake_ticks.h"
#include "support/recording_notifier.h"
#include "transfer/transfer_protocol.h"

namespace zovrel::test {
namespace {

namespace fs = std::filesystem;

Bytes EchoFrame(uint32_t sn) {
    return BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, sn,
                      Bytes{0x14, 0x00, 0x02, 0x00, 0x00, 0x00, 'O', 'K'});
}

// A session on an in-memory port and a fake clock, with the real engine attached; the test runs
// the reader's passes itself.
class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ =
            fs::temp_directory_path() /
            ("zovrel-link-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(counter++));
        fs::create_directories(root_);
        SetDataRootForProcess(TextFromPath(root_));

        auto port = std::make_unique<FakeSerialPort>(L"COM3");
        port_ = port.get();
        SerialLink::Options options;
        options.port = std::move(port);
        options.presence = port_;
        options.ticks = &ticks_;
        options.configuredPort = [this] { return configured_; };
        options.manualReader = true;
        link_ = std::make_unique<SerialLink>(&window_, std::move(options));
        GetTransferProtocol().Attach(&window_, link_.get());
    }
    void TearDown() override {
        GetTransferProtocol().Detach();
        link_.reset();
        SetDataRootForProcess(L"");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Runs reader passes over `ms` of fake time.
    void RunFor(uint32_t ms) {
        const uint32_t end = ticks_.Now() + ms;
        while (!TickReached(ticks_.Now(), end)) {
            const uint32_t wait = link_->ReaderPass();
            ticks_.Advance(wait == 0 ? 1 : wait);
        }
    }

    // Log lines as posted, protocol lines without their time stamp ("SYS text").
    std::vector<std::wstring> Lines() {
        std::lock_guard<std::mutex> lock(window_.mutex);
        std::vector<std::wstring> out;
        for (const std::wstring& line : window_.logLines) {
            const bool stamped = line.size() > 13 && line[2] == L':' && line[8] == L'.';
            out.push_back(stamped ? line.substr(13) : line);
        }
        return out;
    }
    int Count(const std::wstring& prefix) {
        int n = 0;
        for (const auto& l : Lines())
            n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    int IndexOf(const std::wstring& prefix) {
        const auto lines = Lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0)
                return static_cast<int>(i);
        return -1;
    }
    int StateChanges() {
        std::lock_guard<std::mutex> lock(window_.mutex);
        return window_.stateChanged;
    }

    fs::path root_;
    FakeTicks ticks_{5000};
    RecordingNotifier window_;
    FakeSerialPort* port_ = nullptr;
    std::wstring configured_ = L"COM3";
    std::unique_ptr<SerialLink> link_;
};

TEST_F(SerialLinkTest, OpenReportsSuccessAndFailureAndAlwaysPostsTheStateChange) {
    EXPECT_FALSE(link_->Open(L""));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(StateChanges(), 1);

    port_->FailOpen(5);
    EXPECT_FALSE(link_->Open(L" COM3 "));
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"串口打开失败: COM3"});
    EXPECT_EQ(link_->PortName(), L"COM3");
    EXPECT_EQ(StateChanges(), 2);

    port_->FailOpen(0);
    EXPECT_TRUE(link_->Open(L"COM3"));
    EXPECT_EQ(Lines().back(), L"串口已打开: COM3 @ 2000000 bps");
    EXPECT_EQ(StateChanges(), 3);
}

TEST_F(SerialLinkTest, UnplugIsNoticedInOnePassAndReplugReconnects) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    const int before = StateChanges();
    port_->DeviceSend(Bytes(5, 0x11));
    link_->ReaderPass();
    EXPECT_GT(link_->ReceiveBufferSize(), 0u);

    port_->Unplug();
    link_->ReaderPass();
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_EQ(Lines().back(), L"串口连接断开");
    EXPECT_EQ(StateChanges(), before + 1);
    EXPECT_EQ(link_->ReceiveBufferSize(), 0u);  // stale bytes of the lost line are dropped

    RunFor(2000);  // still gone: nothing more is said
    EXPECT_EQ(Lines().back(), L"串口连接断开");

    port_->Plug();
    EXPECT_EQ(link_->ReaderPass(), 500u);
    EXPECT_TRUE(link_->IsOpen());
    const auto lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"串口已打开: COM3 @ 2000000 bps");
    EXPECT_EQ(lines.back(), L"串口已重新连接");
    EXPECT_EQ(StateChanges(), before + 2);
}

TEST_F(SerialLinkTest, SilentDeviceIsWarnedAboutOnceAndNotReconnected) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    RunFor(14900);
    EXPECT_EQ(Count(L"SYS 串口已打开但未收到任何数据"), 0);
    RunFor(60000);
    EXPECT_EQ(
        Count(L"SYS 串口已打开但未收到任何数据 · COM3 @ 2000000 bps · 请确认 COM 口/线缆/下位机"),
        1);
    EXPECT_EQ(port_->opens(), 1);
    EXPECT_TRUE(link_->IsOpen());
}

TEST_F(SerialLinkTest, DeviceThatTalksButNeverEchoesIsReconnectedEveryTenSeconds) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    port_->DeviceSend(Bytes{0x01, 0x02, 0x03});
    RunFor(10500);
    EXPECT_EQ(Count(L"SYS ECHO 超时 10s · 重连串口 · COM3"), 1);
    const int timeout = IndexOf(L"SYS ECHO 超时");
    const auto lines = Lines();
    ASSERT_GE(lines.size(), static_cast<size_t>(timeout + 4));
    EXPECT_EQ(lines[timeout + 1], L"串口连接断开");
    EXPECT_EQ(lines[timeout + 2], L"串口已打开: COM3 @ 2000000 bps");
    EXPECT_EQ(lines[timeout + 3], L"串口已重新连接");
    EXPECT_EQ(port_->opens(), 2);

    // After the reopen nothing was received, so the no-data rule applies, not the echo rule.
    port_->DeviceSend(Bytes{0x01});
    RunFor(10500);
    EXPECT_EQ(Count(L"SYS ECHO 超时"), 2);
}

TEST_F(SerialLinkTest, HeartbeatEveryFiveSecondsKeepsTheLinkAndIsEchoedUnchanged) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    for (uint32_t sn = 1; sn <= 12; ++sn) {
        port_->DeviceSend(EchoFrame(sn));
        RunFor(5000);
        EXPECT_EQ(port_->TakeWritten(), EchoFrame(sn));
    }
    EXPECT_EQ(Count(L"SYS ECHO 超时"), 0);
    EXPECT_EQ(port_->opens(), 1);
    EXPECT_EQ(Count(L"SYS 收到串口原始数据 "), 1);  // once per open
}

TEST_F(SerialLinkTest, NoEchoCheckWhileTheDeviceIsSendingUs) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    const Bytes payload(100, 'x');
    Bytes descriptor = BuildTransferDescriptor(2, payload, L"a.bin");
    port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0));
    port_->DeviceSend(
        BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1, BuildFirstPacketBody(descriptor)));
    RunFor(30000);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_EQ(Count(L"SYS ECHO 超时"), 0);
    EXPECT_EQ(port_->opens(), 1);
}

TEST_F(SerialLinkTest, RepliesAreLoggedAfterTheDispatcherAndBeforeTheReceivedFrame) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    // Noise in front of the frame disappears without a word.
    Bytes bytes(10, 0x00);
    const Bytes query = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 4);
    bytes.insert(bytes.end(), query.begin(), query.end());
    port_->DeviceSend(bytes);
    link_->ReaderPass();
    const auto lines = Lines();
    const int dispatcher = IndexOf(L"SYS TRANS DEVICE_QUERY");
    const int autoTx = IndexOf(L"TX AUTO TX · ch=0x06 DEVICE_QUERY_RSP payload=6 wire=27 B sn=4");
    const int rx = IndexOf(L"RX ch=0x06 DEVICE_QUERY payload=0 wire=21 B sn=4");
    ASSERT_GE(dispatcher, 0);
    EXPECT_LT(dispatcher, autoTx);
    EXPECT_LT(autoTx, rx);
    EXPECT_EQ(link_->ReceiveBufferSize(), 0u);
}

TEST_F(SerialLinkTest, ChunkTrafficIsAnsweredWithoutFrameLines) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    const Bytes payload(64, 'm');
    port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0));
    port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1,
                                 BuildFirstPacketBody(BuildTransferDescriptor(0, payload, L""))));
    link_->ReaderPass();
    port_->TakeWritten();
    const int rxBefore = Count(L"RX ");
    const int txBefore = Count(L"TX AUTO TX · ");
    port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2,
                                 BuildMiddleBody(payload.data(), payload.size(), 0, 63)));
    link_->ReaderPass();
    // The engine keeps its own chunk lines; the reassembler adds neither RX nor AUTO TX lines.
    EXPECT_EQ(Count(L"RX "), rxBefore);
    EXPECT_EQ(Count(L"TX AUTO TX · "), txBefore);
    EXPECT_EQ(Count(L"SYS MIDDLE_PACKET ok start=0 end=63"), 1);
    EXPECT_EQ(port_->TakeWritten().size(), 23u);  // the GENERAL_REPLY went out all the same
}

TEST_F(SerialLinkTest, NoiseNeverGrowsTheBufferPastAPartialHeader) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    for (int i = 0; i < 50; ++i) {
        port_->DeviceSend(Bytes(4000, 0x5A));
        link_->ReaderPass();
        EXPECT_LE(link_->ReceiveBufferSize(), 16u);
    }
    EXPECT_TRUE(link_->IsOpen());
}

TEST_F(SerialLinkTest, EmptySettingClosesTheOpenPort) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    configured_ = L"  ";
    EXPECT_TRUE(link_->StartFromSettings());
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_EQ(Lines().back(), L"串口已关闭");
    EXPECT_EQ(link_->PortName(), L"");
    EXPECT_EQ(link_->ReaderPass(), UINT32_MAX);  // a reader would end now
}

TEST_F(SerialLinkTest, WritesFailWhileClosedOrOnAFailingPort) {
    const Bytes frame = BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0);
    EXPECT_FALSE(link_->Write(frame));
    ASSERT_TRUE(link_->Open(L"COM3"));
    EXPECT_FALSE(link_->Write(Bytes{}));
    EXPECT_TRUE(link_->Write(frame));
    port_->FailWrites(true);
    EXPECT_FALSE(link_->Write(frame));
}

// The real reader thread: a query written by the device is answered without any pass driven by
// the test, and Close stops the thread.
TEST(SerialLinkThread, ReaderAnswersOnItsOwnThreadAndStopsOnClose) {
    const fs::path root = fs::temp_directory_path() / "zovrel-link-thread";
    fs::create_directories(root);
    SetDataRootForProcess(TextFromPath(root));
    RecordingNotifier window;
    auto port = std::make_unique<FakeSerialPort>(L"COM3", 50);
    FakeSerialPort* device = port.get();
    SerialLink::Options options;
    options.port = std::move(port);
    options.presence = device;
    options.configuredPort = [] { return std::wstring(L"COM3"); };
    SerialLink link(&window, std::move(options));
    GetTransferProtocol().Attach(&window, &link);
    ASSERT_TRUE(link.Open(L"COM3"));
    device->DeviceSend(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1));
    EXPECT_TRUE(device->WaitForWritten(27, std::chrono::seconds(10)));
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    GetTransferProtocol().Detach();
    SetDataRootForProcess(L"");
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
}  // namespace zovrel::test
