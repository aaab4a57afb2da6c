#pragma once

// The device and the clock, in process: device frames go to the attached engine through
// DispatchFrame, and what the engine writes is recorded and answered the same way.

#include <gmock/gmock.h>

#include <fstream>
#include <functional>
#include <set>

#include "base/paths.h"
#include "base/text.h"
#include "clipboard/own_write_guard.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "support/recording_notifier.h"
#include "support/test_support.h"
#include "transfer/received_content.h"
#include "transfer/transfer_protocol.h"

namespace zovrel::test {

namespace fs = std::filesystem;
using Texts = std::vector<std::wstring>;
using Frames = std::vector<Bytes>;

inline Bytes PatternBytes(size_t n, uint32_t seed = 7) {
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    return out;
}

class EngineTest : public ::testing::Test {
  public:
    static ReplyList Dispatch(const Bytes& f) { return GetTransferProtocol().DispatchFrame(f); }
    static Bytes Reply(uint32_t sn, uint8_t rsp = 0, uint8_t appId = 2) {
        return BuildGeneralReply(CHANNEL_TRANSFER, sn, rsp, appId);
    }
    static Bytes Rsp(uint32_t sn, uint32_t maxPacket = 10304) {
        return BuildDeviceQueryRsp(CHANNEL_TRANSFER, sn, maxPacket, 0);
    }
    static Frames Cooperative(const Frame& f) {
        return {f.header.type == DEVICE_QUERY ? Rsp(f.header.sn) : Reply(f.header.sn)};
    }
    static Bytes Finish(uint32_t sn = 0) { return BuildFrame(CHANNEL_TRANSFER, FINISH_PACKET, sn); }
    static Bytes First(const Bytes& descriptor) {
        return BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 1, BuildFirstPacketBody(descriptor));
    }
    static Bytes First(uint16_t type, const Bytes& payload, std::wstring_view name = L"") {
        return First(BuildTransferDescriptor(type, payload, name));
    }
    static Bytes Middle(const Bytes& body, uint32_t sn = 2) {
        return BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, sn, body);
    }
    // payload[start, start + n) claiming to end at `end`, checksum trailer included.
    static Bytes Middle(const Bytes& p, size_t start, size_t n, size_t end = 0, uint32_t sn = 2) {
        end = end ? end : start + n - 1;
        return Middle(BuildMiddleBody(p.data() + start, n, uint32_t(start), uint32_t(end)), sn);
    }

    // Time moves only while the sender sleeps. Each frame is answered at once through `answer`;
    // what is in `later` happens once its time has come.
    using Answerer = std::function<Frames(const Frame&, size_t index)>;
    struct FakeDevice final : SerialChannel, TickSource {
        uint32_t Now() override { return now; }
        void Sleep(uint32_t ms) override {
            now += ms;
            for (auto it = later.begin(); it != later.end();)
                it = TickReached(now, it->first) ? (it->second(), later.erase(it)) : it + 1;
        }
        bool IsOpen() override { return open; }
        bool Write(const Bytes& bytes) override {
            at.push_back(now);
            wire.push_back(bytes);
            EXPECT_TRUE(ParseFrame(bytes, frames.emplace_back()));
            EXPECT_EQ(OwnClipboardWriteDepth(), 1) << "the watcher must stay quiet during a send";
            for (const Bytes& r : writable ? answer(frames.back(), wire.size() - 1) : Frames{})
                EXPECT_TRUE(Dispatch(r).empty());
            return writable;
        }
        void StampEcho() override { ++echoStamps; }
        uint32_t Gap(size_t i) const { return at[i] - at[i - 1]; }
        void Clear() { at.clear(), wire.clear(), frames.clear(); }

        uint32_t now = 100000;
        bool open = true, writable = true;
        std::atomic<int> echoStamps{0};
        Answerer answer = [](const Frame& f, size_t) { return Cooperative(f); };
        std::vector<std::pair<uint32_t, std::function<void()>>> later;
        std::vector<uint32_t> at;
        Frames wire;
        std::vector<Frame> frames;
    };

  protected:
    void SetUp() override {
        SetDataRootForProcess(folder_.Text());
        GetTransferProtocol().Attach(&window_, &device_);
    }
    void TearDown() override {
        GetTransferProtocol().Detach();
        EXPECT_EQ(OwnClipboardWriteDepth(), 0);
        SetDataRootForProcess(L"");
    }

    // The rsp_code of the single success/failure reply to `frame`; -1 for anything else.
    int Answer(const Bytes& frame) {
        Frame in;
        const ReplyList r = Dispatch(frame);
        for (uint8_t code : {0, 1})
            if (ParseFrame(frame, in) && r == ReplyList{Reply(in.header.sn, code, OUR_APP_ID)})
                return code;
        return -1;
    }
    bool SendAll(const Bytes& payload, size_t chunk) {
        for (size_t at = 0; at < payload.size(); at += chunk)
            if (Answer(Middle(payload, at, std::min(chunk, payload.size() - at))) != 0)
                return false;
        return true;
    }
    // Receives one whole file; true when every frame was answered with success.
    bool ReceiveFile(const std::wstring& name, const Bytes& payload, size_t chunk = 40) {
        return Answer(First(DATA_TYPE_FILE, payload, name)) == 0 && SendAll(payload, chunk) &&
               Answer(Finish()) == 0;
    }

    fs::path DayFolder() const {
        return root_ / "files" / PathFromText(ReceivedDayFolderName(LocalNow()));
    }
    std::set<std::string> DayFolderNames() const {
        std::set<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(DayFolder(), ec), end; !ec && it != end; it.increment(ec))
            names.insert(ToUtf8(TextFromPath(it->path().filename())));
        return names;
    }
    static Bytes ReadFileBytes(const fs::path& path) {
        const std::string bytes = test::ReadFileBytes(path);
        return Bytes(bytes.begin(), bytes.end());
    }

    const TempFolder folder_;
    const fs::path root_ = folder_.Path();
    RecordingNotifier window_;
    FakeDevice device_;
};

}  // namespace zovrel::test
