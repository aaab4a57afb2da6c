#pragma once

// An in-process stand-in for the device: builds the frames it would send with the codec and
// hands them to the attached transfer engine, with a temporary data root per test.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/paths.h"
#include "base/text.h"
#include "clipboard/received_content.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "support/recording_notifier.h"
#include "transfer/serial_channel.h"
#include "transfer/transfer_protocol.h"

namespace zovrel::test {

namespace fs = std::filesystem;

class FakeSerialChannel : public SerialChannel {
  public:
    bool IsOpen() override { return true; }
    bool Write(const Bytes& frame) override {
        written.push_back(frame);
        return true;
    }
    void StampEcho() override { ++echoStamps; }

    std::vector<Bytes> written;
    std::atomic<int> echoStamps{0};
};

// A descriptor with free choice of every field the receiver reads.
inline Bytes MakeDescriptor(uint16_t dataType, uint32_t payloadSize, uint32_t mcAdd,
                            const std::string& nameUtf8 = {}) {
    Bytes d(DESCRIPTOR_SIZE, 0);
    WriteLE16(d, 0, DESCRIPTOR_SIZE);
    WriteLE16(d, 2, dataType);
    for (size_t i = 0; i < nameUtf8.size() && i < FILE_NAME_FIELD_SIZE; ++i) {
        d[4 + i] = static_cast<uint8_t>(nameUtf8[i]);
    }
    WriteLE16(d, 34, DESCRIPTOR_MARKER);
    WriteLE32(d, 40, payloadSize + static_cast<uint32_t>(DESCRIPTOR_SIZE));
    WriteLE32(d, 44, mcAdd);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), 48));
    return d;
}

struct DeviceFrames {
    static Bytes Start(uint32_t sn = 0) { return BuildFrame(CHANNEL_TRANSFER, START_REQUEST, sn); }
    static Bytes Finish(uint32_t sn = 0) { return BuildFrame(CHANNEL_TRANSFER, FINISH_PACKET, sn); }
    static Bytes First(const Bytes& descriptor, uint32_t sn = 1) {
        Bytes body(1 + descriptor.size());
        body[0] = FIRST_FLAG;
        std::copy(descriptor.begin(), descriptor.end(), body.begin() + 1);
        return BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, sn, body);
    }
    // Announces `payload` as it is (checksum included).
    static Bytes FirstFor(uint16_t dataType, const Bytes& payload, const std::string& nameUtf8,
                          uint32_t sn = 1) {
        return First(MakeDescriptor(dataType, static_cast<uint32_t>(payload.size()),
                                    ProtocolChecksum(payload), nameUtf8),
                     sn);
    }
    static Bytes MiddleBody(const Bytes& body, uint32_t sn = 2) {
        return BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, sn, body);
    }
    // The chunk payload[start, start + n) as the device sends it, checksum trailer included.
    static Bytes Middle(const Bytes& payload, size_t start, size_t n, uint32_t sn = 2) {
        return MiddleBody(BuildMiddleBody(payload.data() + start, n, static_cast<uint32_t>(start),
                                          static_cast<uint32_t>(start + n - 1)),
                          sn);
    }
};

inline Bytes PatternBytes(size_t n, uint32_t seed = 7) {
    Bytes out(n);
    uint32_t x = seed;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

// The rsp_code of the single GENERAL_REPLY in `replies`, checking it answers `sn` with appID 3;
// -1 when the list is not exactly such a reply.
inline int ReplyCode(const ReplyList& replies, uint32_t sn) {
    if (replies.size() != 1)
        return -1;
    Frame f;
    if (!ParseFrame(replies[0], f) || f.header.type != GENERAL_REPLY || f.payload.size() != 2 ||
        f.header.sn != sn || f.header.channel != CHANNEL_TRANSFER || f.payload[1] != OUR_APP_ID) {
        return -1;
    }
    return f.payload[0];
}

inline Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A fresh data root for each test and the engine attached to a recording window.
class InboundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ =
            fs::temp_directory_path() /
            ("zovrel-inbound-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(counter++));
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::create_directories(root_);
        SetDataRootForProcess(TextFromPath(root_));
        GetTransferProtocol().Attach(&window_, &serial_);
    }
    void TearDown() override {
        GetTransferProtocol().Detach();
        SetDataRootForProcess(L"");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    ReplyList Dispatch(const Bytes& frame) { return GetTransferProtocol().DispatchFrame(frame); }
    int Answer(const Bytes& frame) {
        Frame f;
        EXPECT_TRUE(ParseFrame(frame, f));
        return ReplyCode(Dispatch(frame), f.header.sn);
    }

    // Posted log lines without their time stamp: "SYS text", "TX text".
    std::vector<std::wstring> Lines() {
        std::lock_guard<std::mutex> lock(window_.mutex);
        std::vector<std::wstring> out;
        for (const std::wstring& line : window_.logLines) {
            out.push_back(line.size() > 13 ? line.substr(13) : line);
        }
        return out;
    }
    bool Logged(const std::wstring& line) {
        for (const std::wstring& l : Lines()) {
            if (l == line)
                return true;
        }
        return false;
    }
    // Position of the first line equal to `line`, or -1.
    int LineIndex(const std::wstring& line) {
        const auto lines = Lines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == line)
                return static_cast<int>(i);
        }
        return -1;
    }
    void ClearLines() {
        std::lock_guard<std::mutex> lock(window_.mutex);
        window_.logLines.clear();
    }

    fs::path DayFolder() const {
        return root_ / "files" / PathFromText(ReceivedDayFolderName(LocalNow()));
    }
    std::vector<std::string> DayFolderNames() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(DayFolder(), ec), end; !ec && it != end; it.increment(ec)) {
            names.push_back(ToUtf8(TextFromPath(it->path().filename())));
        }
        return names;
    }

    // Sends the whole payload in chunks of `chunk` bytes; false at the first refused chunk.
    bool SendChunks(const Bytes& payload, size_t chunk) {
        for (size_t start = 0; start < payload.size(); start += chunk) {
            const size_t n = std::min(chunk, payload.size() - start);
            if (Answer(DeviceFrames::Middle(payload, start, n)) != 0)
                return false;
        }
        return true;
    }

    fs::path root_;
    RecordingNotifier window_;
    FakeSerialChannel serial_;
};

}  // namespace zovrel::test
