#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "serial/port_requests.h"
#include "serial/serial_link.h"
#include "settings/data_root.h"
#include "support/fake_serial_port.h"
#include "support/fake_ticks.h"
#include "support/recording_notifier.h"
#include "support/test_support.h"
#include "transfer/transfer_protocol.h"

namespace zovrel::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::wstring>;

const std::wstring OPENED = L"串口已打开: COM3 @ 2000000 bps";
const Bytes QUERY = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 4);

// A session on an in-memory port with the real engine attached. The test runs the reader's passes
// itself on a fake clock, except in the thread fixture.
class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDataRootForProcess(folder_.Text());
        auto port = std::make_unique<FakeSerialPort>(L"COM3", !manual_);
        port_ = port.get();
        SerialLink::Options options{std::move(port), port_, manual_ ? &ticks_ : nullptr,
                                    [this] { return configured_; }, manual_};
        link_ = std::make_unique<SerialLink>(&window_, std::move(options));
        GetTransferProtocol().Attach(&window_, link_.get());
    }
    void TearDown() override {
        GetTransferProtocol().Detach();
        link_.reset();
        SetDataRootForProcess(L"");
    }

    void RunFor(uint32_t ms) {
        const uint32_t end = ticks_.Now() + ms;
        while (!TickReached(ticks_.Now(), end))
            ticks_.Advance(std::max(link_->ReaderPass(), 1u));
    }
    // The device starts sending `data` as a file: START_REQUEST and FIRST_PACKET, queued.
    void DeviceStartsFile(const Bytes& data, const std::wstring& name) {
        port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0));
        port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1,
                                     BuildFirstPacketBody(BuildTransferDescriptor(2, data, name))));
    }
    // The last `n` lines posted, protocol lines without their time stamp ("SYS text").
    Lines Tail(size_t n = SIZE_MAX) {
        std::lock_guard<std::mutex> lock(window_.mutex);
        Lines out;
        for (const std::wstring& line : window_.logLines)
            out.push_back(line.size() > 13 && line[2] == L':' ? line.substr(13) : line);
        return Lines(out.end() - std::min(n, out.size()), out.end());
    }
    bool manual_ = true;
    const TempFolder folder_;
    const fs::path root_ = folder_.Path();
    FakeTicks ticks_{5000};
    RecordingNotifier window_;
    FakeSerialPort* port_ = nullptr;
    std::wstring configured_ = L"COM3";
    std::unique_ptr<SerialLink> link_;
};

TEST_F(SerialLinkTest, OpenFailureUnplugAndReplugAreReportedOnceEachAndPostState) {
    EXPECT_FALSE(link_->Open(L""));
    EXPECT_TRUE(Tail().empty());
    port_->FailOpen(5);
    EXPECT_FALSE(link_->Open(L" COM3 "));
    EXPECT_EQ(Tail(), Lines{L"串口打开失败: COM3"});
    EXPECT_EQ(link_->OpenFailure(), L"COM3");  // for the window's status, log shown or not
    port_->FailOpen(0);
    EXPECT_TRUE(link_->Open(L"COM3"));
    EXPECT_EQ(window_.stateChanged, 3);  // every attempt posts one
    EXPECT_EQ(link_->OpenFailure(), L"");

    port_->DeviceSend(Bytes(5, 0x11));
    link_->ReaderPass();
    port_->Unplug();
    link_->ReaderPass();
    EXPECT_EQ(window_.stateChanged, 4);
    EXPECT_EQ(link_->ReceiveBufferSize(), 0u);  // stale bytes of the lost line are dropped
    RunFor(2000);                               // still gone: nothing more is said
    EXPECT_EQ(Tail(1), Lines{L"串口连接断开"});
    EXPECT_FALSE(link_->Open(L"COM3"));  // while unplugged
    EXPECT_EQ(link_->OpenFailure(), L"COM3");
    port_->Plug();
    EXPECT_EQ(link_->ReaderPass(), 500u);
    EXPECT_EQ(link_->OpenFailure(), L"");  // the reconnect clears it too
    EXPECT_EQ(Tail(2), (Lines{OPENED, L"串口已重新连接"}));
    EXPECT_EQ(window_.stateChanged, 6);

    configured_ = L"  ";  // an empty setting closes the port and ends the reader
    EXPECT_TRUE(link_->StartFromSettings());
    EXPECT_EQ(Tail(1), Lines{L"串口已关闭"});
    EXPECT_EQ(link_->ReaderPass(), UINT32_MAX);
}

// An idle program must not wake twenty times a second, but nothing under way may be slowed: the
// read waits long only while no frame is half-received and no transfer runs either way.
TEST_F(SerialLinkTest, SilenceIsWarnedAboutOnceAndAMissingHeartbeatReconnects) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    EXPECT_EQ(link_->ReaderPass(), SERIAL_IDLE_READ_WAIT_MS);
    EXPECT_EQ(port_->lastReadWait(), SERIAL_IDLE_READ_WAIT_MS);
    RunFor(60000);  // nothing ever received: one warning, no reconnect
    EXPECT_EQ(Tail(), (Lines{OPENED,
                             L"SYS 串口已打开但未收到任何数据 · COM3 @ 2000000 bps · "
                             L"请确认 COM 口/线缆/下位机"}));
    for (uint32_t sn = 1; sn <= 4; ++sn) {  // heartbeats every 5 s keep the link, echoed unchanged
        const Bytes echo = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, sn, Bytes{'O', 'K'});
        port_->DeviceSend(echo);
        RunFor(5000);
        EXPECT_EQ(port_->TakeWritten(), echo);
    }
    EXPECT_EQ(port_->opens(), 1);
    RunFor(10500);  // the heartbeat stops
    EXPECT_EQ(Tail(4), (Lines{L"SYS ECHO 超时 10s · 重连串口 · COM3", L"串口连接断开", OPENED,
                              L"串口已重新连接"}));
    // After the reopen it takes data again to arm the check; a failed reopen still posts state.
    port_->DeviceSend(Bytes{0x01});
    port_->FailOpen(5);
    const int posted = window_.stateChanged;
    RunFor(10500);
    EXPECT_EQ(Tail(2), (Lines{L"SYS ECHO 超时 10s · 重连串口 · COM3", L"串口连接断开"}));
    EXPECT_EQ(window_.stateChanged, posted + 1);
    EXPECT_FALSE(link_->IsOpen());
}

TEST_F(SerialLinkTest, NoiseIsDroppedRepliesAreLoggedBeforeTheirFrameAndChunksNotAtAll) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    port_->DeviceSend(Bytes(4000, 0x5A));
    link_->ReaderPass();
    EXPECT_LE(link_->ReceiveBufferSize(), 16u);  // never more than a partial header
    port_->DeviceSend(Bytes(10, 0x00));
    port_->DeviceSend(QUERY);
    EXPECT_EQ(link_->ReaderPass(), 0u);  // read both at once; after data the next pass is due now
    EXPECT_EQ(Tail(), (Lines{OPENED, L"SYS 收到串口原始数据 4000 B", L"SYS TRANS DEVICE_QUERY",
                             L"TX DEVICE_QUERY_RSP",
                             L"TX AUTO TX · ch=0x06 DEVICE_QUERY_RSP payload=6 wire=27 B sn=4",
                             L"RX ch=0x06 DEVICE_QUERY payload=0 wire=21 B sn=4"}));

    const Bytes chunk(64, 'm');
    DeviceStartsFile(chunk, L"a.bin");
    link_->ReaderPass();
    port_->TakeWritten();
    port_->DeviceSend(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2,
                                 BuildMiddleBody(chunk.data(), chunk.size(), 0, 63)));
    link_->ReaderPass();
    // The chunk adds no RX or AUTO TX line after the engine's own, but its reply goes out.
    EXPECT_EQ(Tail(1), Lines{L"TX GENERAL_REPLY for MIDDLE_PACKET rsp=0 sn=2"});
    EXPECT_EQ(port_->TakeWritten().size(), 23u);
}

// A transfer whose frames keep coming holds off the echo checks; one that falls silent for 10 s
// is abandoned like one cut off by a new START_REQUEST, and the checks run again.
TEST_F(SerialLinkTest, TransfersHoldOffTheEchoChecksAndAnInboundOneFallenSilentIsAbandoned) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    const Bytes data(640, 'm');
    DeviceStartsFile(data, L"slow.bin");
    link_->ReaderPass();
    EXPECT_EQ(link_->ReaderPass(), SERIAL_READ_WAIT_MS);
    for (uint32_t k = 0; k < 5; ++k) {  // a chunk every 9.5 s
        RunFor(9500);
        port_->DeviceSend(
            BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2 + k,
                       BuildMiddleBody(data.data() + 64 * k, 64, 64 * k, 64 * k + 63)));
    }
    RunFor(9500);
    EXPECT_TRUE(GetTransferProtocol().IsReceiving());
    EXPECT_EQ(port_->opens(), 1);
    const fs::path day = root_ / "files";
    EXPECT_FALSE(fs::is_empty(*fs::directory_iterator(day)));  // the partial file

    RunFor(600);
    EXPECT_FALSE(GetTransferProtocol().IsReceiving());
    EXPECT_TRUE(fs::is_empty(*fs::directory_iterator(day)));
    // The device was never heard from since the open: the echo check reconnects at once.
    EXPECT_EQ(port_->opens(), 2);

    // A device busy taking a transfer from the program may not send its heartbeat either: a send
    // holds off the checks too, and once it ends the silence counts again.
    port_->DeviceSend(BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 1, Bytes{'O', 'K'}));
    link_->ReaderPass();  // heard from: the checks are armed
    ProtocolEngine& engine = *GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine.BeginSend());
    EXPECT_EQ(link_->ReaderPass(), SERIAL_READ_WAIT_MS);
    RunFor(30000);
    EXPECT_EQ(port_->opens(), 2);
    engine.EndSend();
    RunFor(10500);
    EXPECT_EQ(port_->opens(), 3);
}

const Bytes FALSE_START = {0x57, 0xAB, 0x06, 0, 0, 0, 0, 6, 0, 1, 0, 0, 0, 0, 0, 1, 0};

// Stray bytes that look like the start of a 64 KiB frame hold up what follows only until the
// line has been quiet for a second; a frame arriving in slow pieces is never cut.
TEST_F(SerialLinkTest, AFalseStartIsGivenUpOnceTheLineHasBeenQuietForASecond) {
    ASSERT_TRUE(link_->Open(L"COM3"));
    const Bytes answer = BuildDeviceQueryRsp(CHANNEL_TRANSFER, 4, ADVERTISED_MAX_PACKET, 0);
    port_->DeviceSend(Bytes(QUERY.begin(), QUERY.begin() + 10));
    link_->ReaderPass();
    EXPECT_EQ(link_->ReaderPass(), SERIAL_READ_WAIT_MS);  // half a frame
    RunFor(990);
    port_->DeviceSend(Bytes(QUERY.begin() + 10, QUERY.end()));
    RunFor(50);
    EXPECT_EQ(port_->TakeWritten(), answer);

    port_->DeviceSend(FALSE_START);
    port_->DeviceSend(QUERY);
    RunFor(950);
    EXPECT_TRUE(port_->TakeWritten().empty());
    port_->DeviceSend(Bytes{0x00});  // any byte restarts the second
    RunFor(950);
    EXPECT_TRUE(port_->TakeWritten().empty());
    RunFor(100);
    EXPECT_EQ(port_->TakeWritten(), answer);
    EXPECT_LE(link_->ReceiveBufferSize(), 16u);
}

class SerialLinkThreadTest : public SerialLinkTest {
  protected:
    SerialLinkThreadTest() { manual_ = false; }
};

// A port whose open blocks for 3 s: the requests and the link's state answer at once meanwhile,
// a request made meanwhile replaces the one still waiting, and exit stops waiting at its bound.
TEST_F(SerialLinkThreadTest, PortRequestsNeverWaitOnASlowOpenAndOnlyTheLastOneWaitingRuns) {
    using Clock = std::chrono::steady_clock;
    port_->SetOpenDelay(std::chrono::milliseconds(3000));
    PortRequests requests(*link_, &window_);
    const auto start = Clock::now();
    requests.Open(L"COM3");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // it runs, blocked
    requests.Open(L"COM3");
    requests.Close();  // replaces the open still waiting, which never runs
    EXPECT_TRUE(requests.Busy());
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_EQ(link_->PortName(), L"COM3");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    while (requests.Busy() && Clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(port_->opens(), 1);
    EXPECT_EQ(Tail(2), (Lines{OPENED, L"串口已关闭"}));

    requests.Open(L"COM3");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto exit = Clock::now();
    EXPECT_FALSE(requests.Finish(300));  // the open still runs: exit gives up waiting for it
    EXPECT_LT(Clock::now() - exit, std::chrono::milliseconds(1000));
}

}  // namespace
}  // namespace zovrel::test
