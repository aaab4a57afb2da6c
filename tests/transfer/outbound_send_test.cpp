#include <map>

#ifdef _WIN32
#include <windows.h>

#include "base/win32_handle.h"
#else
#include <sys/stat.h>
#endif

#include "transfer/inbound_device.h"
#include "transfer/outbound_send.h"

namespace zovrel::test {
namespace {

using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;

class OutboundSendTest : public EngineTest {
  protected:
    // What a device that answers at once and echoes the sn sees for `p`.
    static Frames ExpectedWire(const OutboundPayload& p, uint32_t chunk) {
        Frames w{BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0),
                 BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 0),
                 First(p.dataType, p.bytes, p.fileName)};
        uint32_t sn = 2;
        for (size_t at = 0; at < p.bytes.size(); at += chunk)
            w.push_back(Middle(p.bytes, at, std::min<size_t>(chunk, p.bytes.size() - at), 0, sn++));
        w.push_back(BuildFrame(CHANNEL_TRANSFER, FINISH_PACKET, sn));
        return w;
    }
    ProtocolEngine& Engine() { return *GetTransferProtocol().AttachedEngine(); }
    bool Send(const OutboundPayload& p) {
        return SendPayload(Engine(), device_, p, &window_, error_);
    }
    bool SendText(size_t n) { return Send({DATA_TYPE_TEXT, PatternBytes(n), L""}); }
    // "percent:text" of every progress post, comma separated.
    std::wstring Progress() {
        std::wstring out;
        for (const auto& p : window_.progress)
            out += (out.empty() ? L"" : L", ") + std::to_wstring(p.percent) + L":" + p.text;
        return out;
    }
    std::wstring error_;
};

struct OutboundSendAcrossWrapTest : OutboundSendTest, ::testing::WithParamInterface<uint32_t> {};
INSTANTIATE_TEST_SUITE_P(Ticks, OutboundSendAcrossWrapTest,
                         ::testing::Values(100000u, 0xFFFFFFFFu - 1000u, 0xFFFFFFFFu - 2100u));

// Chunks follow the device's packet size (the default's are the file sends').
TEST_P(OutboundSendAcrossWrapTest, SuccessfulTransferFollowsTheSequence) {
    device_.now = GetParam();
    device_.answer = [](const Frame& f, size_t) {
        return f.header.type == DEVICE_QUERY ? Frames{Rsp(f.header.sn, 4160)} : Cooperative(f);
    };
    ASSERT_TRUE(SendText(10000));
    EXPECT_EQ(device_.wire, ExpectedWire({DATA_TYPE_TEXT, PatternBytes(10000), L""}, 4096));
    EXPECT_EQ(Progress(),
              L"0:0%, 1:1%, 3:3%, 5:5%, 41:41%, 82:82%, 99:99%, 99:99%, 100:100%, -1:100%");
    // Every frame is paced; an instant device means no other waiting, even across the wrap.
    EXPECT_EQ(device_.at[0] - GetParam(), SEND_PACING_MS);
    for (size_t i = 1; i < device_.wire.size(); ++i)
        EXPECT_EQ(device_.Gap(i), SEND_PACING_MS);
}

TEST_P(OutboundSendAcrossWrapTest, SilentDeviceIsRetriedTenTimesThenGivenUp) {
    device_.now = GetParam();
    device_.answer = [](const Frame&, size_t) { return Frames{}; };
    EXPECT_FALSE(SendText(10));
    EXPECT_EQ(error_, L"传输超时");
    EXPECT_EQ(device_.wire, Frames(11, BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0)));
    for (size_t i = 1; i < device_.wire.size(); ++i)
        EXPECT_NEAR(device_.Gap(i), 2155, 5);
    // Only the first and the last retry are logged.
    EXPECT_THAT(window_.logLines, Contains(HasSubstr(L"retry=")).Times(2));
    EXPECT_THAT(Progress(), EndsWith(L"-1:1% 失败"));
}

// Answers that do not fit what is awaited are ignored and the frame is resent when its time is
// up; a success reply instead of the RSP moves the sn on for the resent query.
TEST_F(OutboundSendTest, UnfitAnswersAreIgnoredAndTheFrameResent) {
    device_.answer = [this](const Frame& f, size_t index) {
        uint32_t at = device_.now;
        switch (index) {
            case 0:  // START_REQUEST
                return Frames{Rsp(0), Reply(0)};
            case 1:  // DEVICE_QUERY
                return Frames{Reply(1)};
            case 2:
                return Frames{BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY_RSP, 2, Bytes{0x40, 0x28})};
            case 4:  // FIRST_PACKET: late and foreign replies do not move its deadline
                for (Bytes r : {Reply(3, 0, 1), Reply(7),
                                BuildFrame(CHANNEL_TRANSFER, GENERAL_REPLY, 3, Bytes{0}), Rsp(3)})
                    device_.later.push_back({at += 450, [r] { Dispatch(r); }});
                return Frames{};
        }
        return Cooperative(f);
    };
    ASSERT_TRUE(SendText(10));
    ASSERT_EQ(device_.wire.size(), 8u);
    EXPECT_EQ(device_.wire[2], BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 2));
    EXPECT_EQ(device_.wire[3], device_.wire[2]);
    EXPECT_EQ(device_.frames[4].header.sn, 3u);
    EXPECT_EQ(device_.wire[5], device_.wire[4]);
    for (size_t i : {2, 3, 5})
        EXPECT_NEAR(device_.Gap(i), 2155, 5);
}

TEST_F(OutboundSendTest, FailureRepliesAreRetransmittedThreeTimesThenTheTransferFails) {
    device_.answer = [](const Frame& f, size_t) {
        return f.header.type == MIDDLE_PACKET && f.header.sn == 3 ? Frames{Reply(3, 5, 3)}
                                                                  : Cooperative(f);
    };
    EXPECT_FALSE(SendText(25000));
    EXPECT_EQ(error_, L"传输失败: rsp_code=5");
    ASSERT_EQ(device_.wire.size(), 8u);  // chunk 2 and its three retransmissions; no more
    EXPECT_EQ(Frames(device_.wire.begin() + 5, device_.wire.end()), Frames(3, device_.wire[4]));
    EXPECT_THAT(Progress(), EndsWith(L"-1:82% 失败"));

    // The count starts again after a success: three failures per frame still get through.
    std::map<std::pair<uint16_t, uint32_t>, int> seen;
    device_.answer = [&seen](const Frame& f, size_t) {
        const int n = ++seen[{f.header.type, f.header.sn}];
        return f.header.type == DEVICE_QUERY ? Cooperative(f)
                                             : Frames{Reply(f.header.sn, n <= 3 ? 1 : 0)};
    };
    EXPECT_TRUE(SendText(15000));
}

// Cancelled while waiting for the FIRST_PACKET's reply (a cancel heard as a chunk goes out, and
// what the user is told, are in the file sends).
TEST_F(OutboundSendTest, CancelEndsTheTransferWithinOnePoll) {
    device_.answer = [](const Frame& f, size_t i) { return i == 2 ? Frames{} : Cooperative(f); };
    const uint32_t cancelAt = device_.now + 3 * SEND_PACING_MS + 777;
    device_.later.push_back({cancelAt, [] { GetTransferProtocol().CancelSend(); }});
    EXPECT_FALSE(SendText(100));
    EXPECT_EQ(error_, L"已取消发送");
    EXPECT_LE(device_.now - cancelAt, POLL_INTERVAL_MS);
    EXPECT_EQ(device_.wire.size(), 3u);
}

// What the caller of Send gets when a send cannot start; nothing reaches the device or the
// window, and the engine is free again for the next send.
TEST_F(OutboundSendTest, ASendThatCannotStartTellsTheCallerWhy) {
    const ClipboardEntry text = TextEntry(L"hi"), empty;
    ClipboardEntry unknownKind = text;
    unknownKind.kind = 7;
    TransferProtocol& protocol = GetTransferProtocol();
    const struct {
        std::function<void()> setup;
        const ClipboardEntry& entry;
        std::wstring error;
    } cases[] = {
        {[&] { protocol.Detach(); }, text, L"协议未初始化"},
        {[&] { protocol.Attach(&window_, nullptr); }, text, L"串口未连接"},
        {[&] { protocol.Attach(&window_, &device_), device_.open = false; }, text, L"串口未连接"},
        {[&] { device_.open = true; }, unknownKind, L"不支持的内容类型"},
        {[] {}, empty, L"空内容"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        c.setup();
        std::wstring error = L"stale";
        EXPECT_FALSE(protocol.Send(c.entry, &window_, error, device_));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(device_.wire.empty() && window_.progress.empty());
        EXPECT_FALSE(protocol.IsSending());
    }
    device_.writable = false;  // the first write fails: the send ends there
    EXPECT_FALSE(SendText(5));
    EXPECT_EQ(error_, L"发送失败");
    EXPECT_EQ(Progress(), L"0:0%");
    device_.writable = true;
    EXPECT_TRUE(SendText(5)) << ToUtf8(error_);
}

TEST_F(OutboundSendTest, ASendOutlivingDetachReachesNeitherLinkNorWindow) {
    auto engine = GetTransferProtocol().AttachedEngine();
    size_t framesAtDetach = 0;
    size_t linesAtDetach = 0;
    device_.answer = [&](const Frame& f, size_t) {
        if (f.header.type == MIDDLE_PACKET && framesAtDetach == 0) {
            framesAtDetach = device_.wire.size();
            linesAtDetach = window_.logLines.size();
            GetTransferProtocol().Detach();  // the program shuts down mid-send
            return Frames{};
        }
        return Cooperative(f);
    };
    std::wstring error;
    EXPECT_FALSE(
        SendPayload(*engine, device_, {DATA_TYPE_TEXT, PatternBytes(30000), L""}, &window_, error));
    ASSERT_GT(framesAtDetach, 0u);
    EXPECT_EQ(device_.wire.size(), framesAtDetach);
    EXPECT_EQ(window_.logLines.size(), linesAtDetach);
    EXPECT_FALSE(engine->IsBusy());
}

// Files, streamed from disk: what the device gets, and what stops a file's transfer.
class OutboundFileSendTest : public OutboundSendTest {
  protected:
    std::wstring WriteFile(const char* name, const Bytes& bytes) {
        WriteFileBytes(root_ / name, std::string(bytes.begin(), bytes.end()));
        return TextFromPath(root_ / name);
    }
    bool SendFiles(std::vector<std::wstring> files) {
        return GetTransferProtocol().Send(FilesEntry(files), &window_, error_, device_);
    }
    // Calls `action` when the device gets the first MIDDLE_PACKET of transfer `transfer` (from 0).
    void AtFirstChunkOf(size_t transfer, std::function<void()> action) {
        device_.answer = [transfer, action, seen = size_t{0}](const Frame& f, size_t) mutable {
            if (f.header.type == MIDDLE_PACKET && f.header.sn == 2 && seen++ == transfer)
                action();
            return Cooperative(f);
        };
    }
};

// Every file goes whole, one transfer after the other, folders left out; the first file that
// fails or is cancelled ends the send and the files after it are not sent.
TEST_F(OutboundFileSendTest, EveryFileArrivesWholeUntilOneFails) {
    fs::create_directories(root_ / "folder");
    const std::wstring a = WriteFile("a.bin", PatternBytes(25000)), b = WriteFile("b.txt", {7});
    const std::wstring missing = TextFromPath(root_ / "missing.bin");
    const std::wstring folder = TextFromPath(root_ / "folder");
    const Frames wireA = ExpectedWire({DATA_TYPE_FILE, PatternBytes(25000), L"a.bin"}, 10240);
    const Frames wireB = ExpectedWire({DATA_TYPE_FILE, {7}, L"b.txt"}, 10240);
    const auto then = [&](Frames w, const Frames& more, size_t n) {
        w.insert(w.end(), more.begin(), more.begin() + n);
        return w;
    };
    const struct {
        const char* what;
        std::vector<std::wstring> files;
        std::wstring error, lastProgress;
        Frames wire;
    } cases[] = {
        {"all", {a, folder, b}, L"", L"100:2/2 100%, -1:100%", then(wireA, wireB, wireB.size())},
        {"missing",
         {a, missing, b},
         L"第 2/3 个文件发送失败: 文件不存在: " + missing,
         L"100:1/3 100%",
         wireA},
        {"cancel", {a, a, b}, L"已取消发送", L"-1:41% 已取消", then(wireA, wireA, 4)},
        {"folders only", {folder, folder}, L"没有可发送的文件", L"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device_.Clear();
        window_.progress.clear();
        device_.answer = [](const Frame& f, size_t) { return Cooperative(f); };
        if (std::string(c.what) == "cancel")
            AtFirstChunkOf(1, [] { GetTransferProtocol().CancelSend(); });
        EXPECT_EQ(SendFiles(c.files), c.error.empty());
        EXPECT_EQ(error_, c.error);
        EXPECT_EQ(device_.wire, c.wire);
        EXPECT_THAT(Progress(), EndsWith(c.lastProgress));
        EXPECT_FALSE(GetTransferProtocol().IsSending());
    }
}

// Bytes that cannot be read stop the transfer before its FINISH_PACKET, in the checksum pass
// (256 KiB a read) as while sending (a read a chunk); a cancel is heard during the pass.
TEST_F(OutboundFileSendTest, AReadFailureStopsWithoutFinishAndTheChecksumPassCanBeCancelled) {
    // Read number `fail` gives nothing; read number -`fail` asks for a cancel first.
    struct ScriptedSource final : PayloadSource {
        uint64_t Size() const override { return bytes.size(); }
        const uint8_t* Next(size_t count) override {
            if (++reads == -fail)
                GetTransferProtocol().CancelSend();
            return reads == fail ? nullptr : memory.Next(count);
        }
        bool Rewind() override { return memory.Rewind(); }
        Bytes bytes;
        int fail = 0, reads = 0;
        MemoryPayloadSource memory{bytes};
    };
    const struct {
        size_t size;
        int fail;
        std::wstring error;
        size_t frames;
    } cases[] = {{25000, 4, L"无法读取文件", 5},
                 {600000, 2, L"无法读取文件", 0},
                 {600000, -1, L"已取消发送", 0}};
    for (const auto& c : cases) {
        device_.Clear();
        auto source = std::make_unique<ScriptedSource>();
        source->bytes = PatternBytes(c.size);
        source->fail = c.fail;
        EXPECT_FALSE(Send({DATA_TYPE_FILE, {}, L"x.bin", std::move(source)}));
        EXPECT_EQ(error_, c.error);
        EXPECT_EQ(device_.wire.size(), c.frames) << c.fail << ": no FINISH_PACKET";
    }
}

#ifdef _WIN32
// Another program cannot write to a file while it is sent, so the device gets the bytes that
// were checksummed; the file is let go once sent.
TEST_F(OutboundFileSendTest, WritersAreKeptOutWhileAFileIsSent) {
    const std::wstring path = WriteFile("kept.bin", PatternBytes(30000));
    DWORD openError = 0;
    AtFirstChunkOf(0, [&] {
        UniqueHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        openError = writer.IsValid() ? 0 : ::GetLastError();
    });
    ASSERT_TRUE(SendFiles({path})) << ToUtf8(error_);
    EXPECT_EQ(openError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    UniqueHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(writer.IsValid()) << "the file stays held after its send";
}
#else
// Writers cannot be kept out here: a file cut short or changed after its checksum pass stops
// the transfer before its FINISH_PACKET; a named pipe is refused, not waited on.
TEST_F(OutboundFileSendTest, AFileCutShortOrChangedWhileSentStopsWithoutFinish) {
    for (const bool cut : {true, false}) {
        device_.Clear();
        const std::wstring path = WriteFile("changing.bin", PatternBytes(30000));
        AtFirstChunkOf(0, [&] {
            if (cut)
                fs::resize_file(root_ / "changing.bin", 15000);
            else
                std::fstream(root_ / "changing.bin", std::ios::in | std::ios::out)
                    .seekp(29000)
                    .put('!');
        });
        EXPECT_FALSE(SendFiles({path}));
        EXPECT_EQ(error_, cut ? L"无法读取文件" : L"文件在发送过程中被修改");
        EXPECT_NE(device_.frames.back().header.type, FINISH_PACKET);
    }
    ASSERT_EQ(::mkfifo((root_ / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(SendFiles({TextFromPath(root_ / "pipe")}));
    EXPECT_EQ(error_, L"无法读取文件");
}
#endif

}  // namespace
}  // namespace zovrel::test
