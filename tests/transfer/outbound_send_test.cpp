#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/own_write_guard.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "support/recording_notifier.h"
#include "transfer/outbound_send.h"
#include "transfer/protocol_engine.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {
namespace {

using test::RecordingNotifier;

// A clock that moves only when the sender sleeps, and lets the device act at given times.
class ScriptedClock final : public TickSource {
  public:
    explicit ScriptedClock(uint32_t start) : now_(start) {}
    uint32_t Now() override { return now_; }
    void Sleep(uint32_t ms) override {
        now_ += ms;
        if (onTime)
            onTime(now_);
    }
    std::function<void(uint32_t)> onTime;

  private:
    uint32_t now_;
};

Bytes Reply(const Frame& f, uint8_t rsp = 0, uint8_t appId = 2) {
    return BuildGeneralReply(CHANNEL_TRANSFER, f.header.sn, rsp, appId);
}
Bytes ReplySn(uint32_t sn, uint8_t rsp = 0, uint8_t appId = 2) {
    return BuildGeneralReply(CHANNEL_TRANSFER, sn, rsp, appId);
}
Bytes Rsp(uint32_t sn, uint32_t maxPacket = 10304) {
    return BuildDeviceQueryRsp(CHANNEL_TRANSFER, sn, maxPacket, 0);
}

// The device at the other end of the line: records every frame written and answers through
// the engine's dispatcher, as the serial reader would, either at once or at a later time.
class ScriptedDevice final : public SerialChannel {
  public:
    struct Sent {
        uint32_t at;
        Bytes bytes;
        Frame frame;
        int32_t depth;  // clipboard suppression depth while the frame was written
    };
    using Answer = std::function<std::vector<Bytes>(const Frame&, size_t index)>;

    explicit ScriptedDevice(ScriptedClock& clock) : clock_(clock) {}

    static std::vector<Bytes> Cooperative(const Frame& f) {
        if (f.header.type == DEVICE_QUERY)
            return {Rsp(f.header.sn)};
        return {Reply(f)};
    }

    bool IsOpen() override { return open; }
    bool Write(const Bytes& bytes) override {
        Sent s{clock_.Now(), bytes, {}, OwnClipboardWriteDepth()};
        EXPECT_TRUE(ParseFrame(bytes, s.frame));
        sent.push_back(s);
        if (!writes(s.frame))
            return false;
        for (const Bytes& r : answer(s.frame, sent.size() - 1))
            Deliver(r);
        return true;
    }
    void StampEcho() override {}

    void Deliver(const Bytes& frame) {
        // Replies to the sender are queued, never answered.
        EXPECT_TRUE(engine->DispatchFrame(frame).empty());
    }
    void DeliverAt(uint32_t at, Bytes frame) { later.push_back({at, std::move(frame)}); }
    void OnTime(uint32_t now) {
        for (size_t i = 0; i < later.size();) {
            if (TickReached(now, later[i].first)) {
                Bytes f = std::move(later[i].second);
                later.erase(later.begin() + static_cast<std::ptrdiff_t>(i));
                Deliver(f);
            } else {
                ++i;
            }
        }
    }

    std::vector<Bytes> Wire() const {
        std::vector<Bytes> out;
        for (const auto& s : sent)
            out.push_back(s.bytes);
        return out;
    }

    ProtocolEngine* engine = nullptr;
    bool open = true;
    std::function<bool(const Frame&)> writes = [](const Frame&) { return true; };
    Answer answer = [](const Frame& f, size_t) { return Cooperative(f); };
    std::vector<Sent> sent;
    std::vector<std::pair<uint32_t, Bytes>> later;

  private:
    ScriptedClock& clock_;
};

Bytes Ascii(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>('a' + i % 26);
    return b;
}

// The frames a device sees for a transfer answered at once by a device that echoes the sn.
std::vector<Bytes> ExpectedWire(const OutboundPayload& p, uint32_t chunk, uint32_t rspSn = 0) {
    const Bytes descriptor = BuildTransferDescriptor(p.dataType, p.bytes, p.fileName);
    std::vector<Bytes> w{
        BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0),
        BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 0),
        BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, rspSn + 1, BuildFirstPacketBody(descriptor))};
    uint32_t sn = rspSn + 2;
    for (size_t at = 0; at < p.bytes.size(); at += chunk) {
        const size_t n = std::min<size_t>(chunk, p.bytes.size() - at);
        w.push_back(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, sn++,
                               BuildMiddleBody(p.bytes.data() + at, n, static_cast<uint32_t>(at),
                                               static_cast<uint32_t>(at + n - 1))));
    }
    w.push_back(BuildFrame(CHANNEL_TRANSFER, FINISH_PACKET, sn));
    return w;
}

using ProgressList = std::vector<std::pair<int, std::wstring>>;

class OutboundSendTest : public ::testing::TestWithParam<uint32_t> {
  protected:
    OutboundSendTest() : clock_(StartTick()), device_(clock_), engine_(&window_, &device_) {
        device_.engine = &engine_;
        clock_.onTime = [this](uint32_t now) { device_.OnTime(now); };
    }

    static uint32_t StartTick() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info->value_param() != nullptr ? GetParam() : 100000;
    }

    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ =
            std::filesystem::temp_directory_path() / ("zovrel-send-" + std::to_string(counter++));
        std::filesystem::create_directories(root_);
        SetDataRootForProcess(TextFromPath(root_));
    }
    void TearDown() override {
        // Whatever the outcome, the watcher captures again and the engine is free.
        EXPECT_EQ(OwnClipboardWriteDepth(), 0);
        EXPECT_FALSE(engine_.IsBusy());
        SetDataRootForProcess(L"");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    bool SendText(size_t length) {
        ClipboardEntry e;
        e.text = std::wstring(length, L'x');
        for (size_t i = 0; i < length; ++i)
            e.text[i] = static_cast<wchar_t>('a' + i % 26);
        return SendEntry(engine_, clock_, e, &window_, error_);
    }
    bool Send(const OutboundPayload& p) {
        return SendPayload(engine_, clock_, p, &window_, error_);
    }

    ProgressList Progress() {
        ProgressList out;
        for (const auto& p : window_.progress)
            out.push_back({p.percent, p.text});
        return out;
    }
    // Log texts of one channel, without the time stamp.
    std::vector<std::wstring> Log(const std::wstring& channel) {
        std::vector<std::wstring> out;
        const std::wstring tag = L" " + channel + L" ";
        for (const auto& line : window_.logLines) {
            if (line.size() > 12 && line.compare(12, tag.size(), tag) == 0) {
                out.push_back(line.substr(12 + tag.size()));
            }
        }
        return out;
    }
    std::vector<std::wstring> SysLinesStartingWith(const std::wstring& prefix) {
        std::vector<std::wstring> out;
        for (const auto& l : Log(L"SYS")) {
            if (l.rfind(prefix, 0) == 0)
                out.push_back(l);
        }
        return out;
    }

    std::filesystem::path root_;
    ScriptedClock clock_;
    RecordingNotifier window_;
    ScriptedDevice device_;
    ProtocolEngine engine_;
    std::wstring error_;
};

using OutboundSendAcrossWrapTest = OutboundSendTest;
INSTANTIATE_TEST_SUITE_P(Ticks, OutboundSendAcrossWrapTest,
                         ::testing::Values(100000u, 0xFFFFFFFFu - 1000u, 0xFFFFFFFFu - 2100u));

TEST_P(OutboundSendAcrossWrapTest, SuccessfulTransferFollowsTheSequence) {
    ASSERT_TRUE(SendText(25000)) << ToUtf8(error_);
    EXPECT_EQ(error_, L"");

    const OutboundPayload p{DATA_TYPE_TEXT, Ascii(25000), L""};
    const auto wire = device_.Wire();
    EXPECT_EQ(wire, ExpectedWire(p, 10240));
    // The device can rebuild the payload from what it was told.
    uint8_t flag = 0;
    TransferDescriptor d;
    ASSERT_TRUE(ParseFirstPacket(device_.sent[2].frame.payload, flag, d));
    EXPECT_EQ(d.total, 25052u);
    EXPECT_EQ(d.mcAdd, ProtocolChecksum(p.bytes));
    EXPECT_EQ(d.data_type, DATA_TYPE_TEXT);

    EXPECT_EQ(Progress(), (ProgressList{{0, L"0%"},
                                        {1, L"1%"},
                                        {3, L"3%"},
                                        {5, L"5%"},
                                        {41, L"41%"},
                                        {82, L"82%"},
                                        {99, L"99%"},
                                        {99, L"99%"},
                                        {100, L"100%"},
                                        {-1, L"100%"}}));

    // Every frame is paced; an instant device means no other waiting, even across the wrap.
    for (size_t i = 0; i < device_.sent.size(); ++i) {
        EXPECT_EQ(device_.sent[i].at - (i == 0 ? StartTick() : device_.sent[i - 1].at), 150u);
        EXPECT_EQ(device_.sent[i].depth, 1) << "watcher must stay quiet during the send";
    }

    EXPECT_EQ(SysLinesStartingWith(L"TRANS SEND begin"),
              std::vector<std::wstring>{L"TRANS SEND begin type=text file=\"\" payload=25000 B "
                                        L"(24 KB) totalFileSize=25052 B header=52"});
    const auto tx = Log(L"TX");
    ASSERT_EQ(tx.size(), 7u);
    EXPECT_EQ(tx[0], L"TRANS START_REQUEST · ch=0x06 START_REQUEST payload=0 wire=21 B sn=0");
    EXPECT_EQ(tx[3],
              L"TRANS MIDDLE_PACKET · ch=0x06 MIDDLE_PACKET payload=10253 wire=10274 B sn=2");
}

TEST_P(OutboundSendAcrossWrapTest, SilentDeviceIsRetriedTenTimesThenGivenUp) {
    device_.answer = [](const Frame&, size_t) { return std::vector<Bytes>{}; };
    EXPECT_FALSE(SendText(10));
    EXPECT_EQ(error_, L"传输超时");

    ASSERT_EQ(device_.sent.size(), 11u);
    for (size_t i = 1; i < device_.sent.size(); ++i) {
        EXPECT_EQ(device_.sent[i].bytes, device_.sent[0].bytes);
        const uint32_t gap = device_.sent[i].at - device_.sent[i - 1].at;
        EXPECT_GE(gap, 2150u);
        EXPECT_LE(gap, 2160u);
    }
    EXPECT_EQ(device_.sent[0].bytes, BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0));
    EXPECT_EQ(SysLinesStartingWith(L"TRANS timeout"),
              (std::vector<std::wstring>{L"TRANS timeout state=0 sn=0 retry=1/10",
                                         L"TRANS timeout state=0 sn=0 retry=10/10"}));
    EXPECT_EQ(SysLinesStartingWith(L"TRANS 超时放弃"),
              std::vector<std::wstring>{L"TRANS 超时放弃 state=0 sn=0（已重试 10 次）"});
    EXPECT_EQ(Progress().back(), (std::pair<int, std::wstring>{-1, L"1% 失败"}));
}

TEST_F(OutboundSendTest, EmptyPayloadGoesStraightToFinish) {
    ASSERT_TRUE(Send(OutboundPayload{DATA_TYPE_FILE, {}, L"empty.bin"})) << ToUtf8(error_);
    const OutboundPayload p{DATA_TYPE_FILE, {}, L"empty.bin"};
    EXPECT_EQ(device_.Wire(), ExpectedWire(p, 10240));
    EXPECT_EQ(device_.sent.back().frame.header.sn, 2u);
    EXPECT_EQ(Progress(), (ProgressList{{0, L"0%"},
                                        {1, L"1%"},
                                        {3, L"3%"},
                                        {5, L"5%"},
                                        {99, L"99%"},
                                        {100, L"100%"},
                                        {-1, L"100%"}}));
}

TEST_F(OutboundSendTest, ChunkSizeFollowsTheDevicesPacketSize) {
    device_.answer = [](const Frame& f, size_t) {
        if (f.header.type == DEVICE_QUERY)
            return std::vector<Bytes>{Rsp(f.header.sn, 4160)};
        return ScriptedDevice::Cooperative(f);
    };
    const OutboundPayload p{DATA_TYPE_IMAGE, Ascii(10000), L"a.png"};
    ASSERT_TRUE(Send(p)) << ToUtf8(error_);
    EXPECT_EQ(device_.Wire(), ExpectedWire(p, 4096));

    // A device that takes 1-byte packets still gets everything, one byte per frame.
    device_.sent.clear();
    device_.answer = [](const Frame& f, size_t) {
        if (f.header.type == DEVICE_QUERY)
            return std::vector<Bytes>{Rsp(f.header.sn, 65)};
        return ScriptedDevice::Cooperative(f);
    };
    const OutboundPayload tiny{DATA_TYPE_TEXT, {'x', 'y', 'z'}, L""};
    ASSERT_TRUE(Send(tiny)) << ToUtf8(error_);
    EXPECT_EQ(device_.Wire(), ExpectedWire(tiny, 1));
}

TEST_F(OutboundSendTest, ShortDeviceQueryAnswerIsIgnoredAndTheQueryResent) {
    device_.answer = [](const Frame& f, size_t index) {
        if (f.header.type == DEVICE_QUERY && index == 1) {
            Bytes shortRsp = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY_RSP, f.header.sn,
                                        Bytes{0x40, 0x28, 0x00});
            return std::vector<Bytes>{shortRsp};
        }
        return ScriptedDevice::Cooperative(f);
    };
    ASSERT_TRUE(SendText(100)) << ToUtf8(error_);
    ASSERT_GE(device_.sent.size(), 4u);
    // Resent with the sn moved on by the START_REQUEST's success reply.
    EXPECT_EQ(device_.sent[2].bytes, BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1));
    const uint32_t gap = device_.sent[2].at - device_.sent[1].at;
    EXPECT_GE(gap, 2150u);
    EXPECT_LE(gap, 2160u);
    EXPECT_EQ(device_.sent[3].frame.header.type, FIRST_PACKET);
    EXPECT_EQ(device_.sent[3].frame.header.sn, 2u);
}

TEST_F(OutboundSendTest, RepliesThatDoNotFitAreIgnoredWithoutMovingTheDeadline) {
    // The FIRST_PACKET (sn 1) is answered late, first by replies the sender must not use.
    device_.answer = [this](const Frame& f, size_t index) {
        if (f.header.type == START_REQUEST && index == 0) {
            // An RSP while the START_REQUEST's reply is awaited must not skip ahead.
            return std::vector<Bytes>{Rsp(0), Reply(f)};
        }
        if (f.header.type == FIRST_PACKET && index == 2) {
            device_.DeliverAt(clock_.Now() + 500, ReplySn(1, 0, 1));  // foreign appID
            device_.DeliverAt(clock_.Now() + 1000, ReplySn(7));       // wrong sn
            device_.DeliverAt(clock_.Now() + 1500,
                              BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 1, Bytes{0}));
            device_.DeliverAt(clock_.Now() + 1900, Rsp(1));  // an RSP is not awaited now
            return std::vector<Bytes>{};
        }
        return ScriptedDevice::Cooperative(f);
    };
    ASSERT_TRUE(SendText(10)) << ToUtf8(error_);
    ASSERT_GE(device_.sent.size(), 4u);
    EXPECT_EQ(device_.sent[1].frame.header.type, DEVICE_QUERY);
    EXPECT_EQ(device_.sent[3].bytes, device_.sent[2].bytes);
    const uint32_t gap = device_.sent[3].at - device_.sent[2].at;
    EXPECT_GE(gap, 2150u);
    EXPECT_LE(gap, 2160u);
    EXPECT_EQ(device_.sent.size(), 6u);
}

TEST_F(OutboundSendTest, FailureRepliesAreRetransmittedThreeTimesThenTheTransferFails) {
    device_.answer = [](const Frame& f, size_t) {
        if (f.header.type == MIDDLE_PACKET && f.header.sn == 3) {
            return std::vector<Bytes>{Reply(f, 5, 3)};
        }
        return ScriptedDevice::Cooperative(f);
    };
    EXPECT_FALSE(SendText(25000));
    EXPECT_EQ(error_, L"传输失败: rsp_code=5");
    // START, DQ, FIRST, chunk 1, chunk 2 and its three identical retransmissions; no more.
    ASSERT_EQ(device_.sent.size(), 8u);
    for (size_t i = 5; i < 8; ++i)
        EXPECT_EQ(device_.sent[i].bytes, device_.sent[4].bytes);
    EXPECT_EQ(Progress().back(), (std::pair<int, std::wstring>{-1, L"82% 失败"}));
}

TEST_F(OutboundSendTest, FailureCountStartsAgainAfterASuccess) {
    // Every frame fails three times before it is accepted: the transfer still gets through.
    std::map<std::pair<uint16_t, uint32_t>, int> seen;
    device_.answer = [&seen](const Frame& f, size_t) {
        if (f.header.type == DEVICE_QUERY)
            return ScriptedDevice::Cooperative(f);
        int& n = seen[{f.header.type, f.header.sn}];
        return std::vector<Bytes>{Reply(f, ++n <= 3 ? 1 : 0)};
    };
    EXPECT_TRUE(SendText(15000)) << ToUtf8(error_);
}

TEST_F(OutboundSendTest, CancelStopsTheTransferAtOnce) {
    device_.answer = [this](const Frame& f, size_t) {
        if (f.header.type == MIDDLE_PACKET && f.header.sn == 3)
            engine_.RequestCancel();
        return ScriptedDevice::Cooperative(f);
    };
    EXPECT_FALSE(SendText(25000));
    EXPECT_EQ(error_, L"已取消发送");
    ASSERT_EQ(device_.sent.size(), 5u) << "nothing may follow the frame in flight";
    EXPECT_EQ(Progress().back(), (std::pair<int, std::wstring>{-1, L"82% 已取消"}));
}

TEST_F(OutboundSendTest, CancelWhileWaitingEndsWithinOnePoll) {
    uint32_t cancelledAt = 0;
    device_.answer = [this, &cancelledAt](const Frame& f, size_t) {
        if (f.header.type == FIRST_PACKET) {
            clock_.onTime = [this, &cancelledAt](uint32_t now) {
                if (cancelledAt == 0 && now - device_.sent.back().at >= 777) {
                    cancelledAt = now;
                    engine_.RequestCancel();
                }
            };
            return std::vector<Bytes>{};
        }
        return ScriptedDevice::Cooperative(f);
    };
    EXPECT_FALSE(SendText(100));
    EXPECT_EQ(error_, L"已取消发送");
    EXPECT_LE(clock_.Now() - cancelledAt, POLL_INTERVAL_MS);
    EXPECT_EQ(device_.sent.size(), 3u);
    EXPECT_EQ(Progress().back(), (std::pair<int, std::wstring>{-1, L"5% 已取消"}));
}

TEST_F(OutboundSendTest, SuccessReplyToTheQueryMovesTheSnForItsRetransmission) {
    device_.answer = [](const Frame& f, size_t index) {
        if (index == 1)
            return std::vector<Bytes>{ReplySn(1)};  // success instead of an RSP
        return ScriptedDevice::Cooperative(f);
    };
    ASSERT_TRUE(SendText(10)) << ToUtf8(error_);
    ASSERT_GE(device_.sent.size(), 4u);
    EXPECT_EQ(device_.sent[2].bytes, BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 2));
    EXPECT_EQ(device_.sent[3].frame.header.type, FIRST_PACKET);
    EXPECT_EQ(device_.sent[3].frame.header.sn, 3u);
}

TEST_F(OutboundSendTest, SecondSendIsRefusedAndTheFirstGoesOn) {
    RecordingNotifier other;
    std::wstring otherError;
    bool otherResult = true;
    device_.answer = [&](const Frame& f, size_t) {
        if (f.header.type == FIRST_PACKET) {
            ClipboardEntry e;
            e.text = L"second";
            otherResult = SendEntry(engine_, clock_, e, &other, otherError);
        }
        return ScriptedDevice::Cooperative(f);
    };
    ASSERT_TRUE(SendText(100)) << ToUtf8(error_);
    EXPECT_FALSE(otherResult);
    EXPECT_EQ(otherError, L"另一个剪贴板传输正在进行中");
    EXPECT_TRUE(other.progress.empty());
    EXPECT_EQ(device_.sent.size(), 5u);
}

TEST_F(OutboundSendTest, EarlyFailuresSendNothingAndFreeTheEngine) {
    ClipboardEntry text;
    text.text = L"hello";

    GetTransferProtocol().Detach();
    EXPECT_FALSE(GetTransferProtocol().Send(text, &window_, error_, clock_));
    EXPECT_EQ(error_, L"协议未初始化");

    device_.open = false;
    EXPECT_FALSE(SendEntry(engine_, clock_, text, &window_, error_));
    EXPECT_EQ(error_, L"串口未连接");
    ProtocolEngine unlinked(&window_, nullptr);
    EXPECT_FALSE(SendEntry(unlinked, clock_, text, &window_, error_));
    EXPECT_EQ(error_, L"串口未连接");
    device_.open = true;

    ClipboardEntry empty;
    EXPECT_FALSE(SendEntry(engine_, clock_, empty, &window_, error_));
    EXPECT_EQ(error_, L"空内容");
    EXPECT_TRUE(device_.sent.empty());
    EXPECT_TRUE(window_.progress.empty());
    EXPECT_FALSE(engine_.IsBusy());

    // A START_REQUEST that cannot be written: logged all the same, no final text.
    device_.writes = [](const Frame&) { return false; };
    EXPECT_FALSE(SendEntry(engine_, clock_, text, &window_, error_));
    EXPECT_EQ(error_, L"发送失败");
    EXPECT_EQ(device_.sent.size(), 1u);
    EXPECT_EQ(Progress(), (ProgressList{{0, L"0%"}}));
    EXPECT_EQ(Log(L"TX"),
              std::vector<std::wstring>{
                  L"TRANS START_REQUEST · ch=0x06 START_REQUEST payload=0 wire=21 B sn=0"});
}

TEST_F(OutboundSendTest, LostChunkWriteGoesOnToFinishAndTheDeviceDecides) {
    // The second chunk does not go out; the device then refuses the FINISH_PACKET.
    device_.writes = [](const Frame& f) {
        return !(f.header.type == MIDDLE_PACKET && f.header.sn == 3);
    };
    device_.answer = [](const Frame& f, size_t) {
        if (f.header.type == FINISH_PACKET)
            return std::vector<Bytes>{Reply(f, 1)};
        return ScriptedDevice::Cooperative(f);
    };
    EXPECT_FALSE(SendText(25000));
    EXPECT_EQ(error_, L"传输失败: rsp_code=1");
    // The lost chunk is followed directly by the FINISH_PACKET, never by the third chunk.
    ASSERT_GE(device_.sent.size(), 6u);
    EXPECT_EQ(device_.sent[5].frame.header.type, FINISH_PACKET);
}

}  // namespace
}  // namespace zovrel
