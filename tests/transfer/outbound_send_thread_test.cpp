#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "base/paths.h"
#include "clipboard/own_write_guard.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/data_root.h"
#include "support/recording_notifier.h"
#include "transfer/outbound_send.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {
namespace {

// Real time running twenty times faster: threads really interleave, yet a send takes
// milliseconds and a reply from a slow reader thread is not taken for a time-out.
class FastClock final : public TickSource {
  public:
    uint32_t Now() override {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() / 50);
    }
    void Sleep(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::microseconds(ms * 50));
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The device's answers travel to a reader thread, which feeds them to DispatchFrame as the
// serial reader does; the sender never calls the dispatcher itself.
class ThreadedDevice final : public SerialChannel {
  public:
    ThreadedDevice() : reader_([this] { ReadLoop(); }) {}
    ~ThreadedDevice() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        reader_.join();
    }

    bool IsOpen() override { return true; }
    bool Write(const Bytes& bytes) override {
        Frame f;
        EXPECT_TRUE(ParseFrame(bytes, f));
        Bytes answer = f.header.type == DEVICE_QUERY
                           ? BuildDeviceQueryRsp(CHANNEL_TRANSFER, f.header.sn, 10304, 0)
                           : BuildGeneralReply(CHANNEL_TRANSFER, f.header.sn, 0, 2);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (f.header.type == MIDDLE_PACKET) {
                MiddleHead head;
                EXPECT_TRUE(ParseMiddleHead(f.payload, head));
                received_[head.start] = Bytes(f.payload.begin() + MIDDLE_HEAD_SIZE,
                                              f.payload.end() - MIDDLE_TRAILER_SIZE);
            }
            pending_.push_back(std::move(answer));
        }
        wake_.notify_all();
        return true;
    }
    void StampEcho() override {}

    Bytes Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        Bytes all;
        for (const auto& [start, data] : received_)
            all.insert(all.end(), data.begin(), data.end());
        return all;
    }

  private:
    void ReadLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
            if (stop_)
                return;
            Bytes frame = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            GetTransferProtocol().DispatchFrame(frame);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Bytes> pending_;
    std::map<uint32_t, Bytes> received_;
    bool stop_ = false;
    std::thread reader_;
};

class OutboundSendThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / "zovrel-send-threads";
        std::filesystem::create_directories(root_);
        SetDataRootForProcess(TextFromPath(root_));
        GetTransferProtocol().Attach(&window_, &device_);
    }
    void TearDown() override {
        GetTransferProtocol().Detach();
        SetDataRootForProcess(L"");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::filesystem::path root_;
    test::RecordingNotifier window_;
    ThreadedDevice device_;
    FastClock clock_;
};

ClipboardEntry TextOf(size_t n) {
    ClipboardEntry e;
    for (size_t i = 0; i < n; ++i)
        e.text.push_back(static_cast<wchar_t>('a' + i % 26));
    return e;
}

TEST_F(OutboundSendThreadTest, SenderReaderAndUserInterfaceShareTheEngine) {
    const ClipboardEntry entry = TextOf(60000);
    std::atomic<bool> done{false};
    bool result = false;
    std::wstring error;
    std::thread sender([&] {
        result = GetTransferProtocol().Send(entry, &window_, error, clock_);
        done = true;
    });
    // The user-interface thread keeps asking, and a second send is refused meanwhile.
    int refused = 0;
    while (!done) {
        if (GetTransferProtocol().IsSending()) {
            std::wstring otherError;
            if (!GetTransferProtocol().Send(TextOf(5), nullptr, otherError, clock_) &&
                otherError == L"另一个剪贴板传输正在进行中") {
                ++refused;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sender.join();
    EXPECT_TRUE(result) << "error: " << error.size();
    EXPECT_GT(refused, 0);
    EXPECT_FALSE(GetTransferProtocol().IsSending());
    EXPECT_EQ(OwnClipboardWriteDepth(), 0);

    Bytes expected(60000);
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<uint8_t>('a' + i % 26);
    EXPECT_EQ(device_.Received(), expected);
}

TEST_F(OutboundSendThreadTest, CancelFromAnotherThreadEndsTheSend) {
    const ClipboardEntry entry = TextOf(300000);
    bool result = true;
    std::wstring error;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = GetTransferProtocol().Send(entry, &window_, error, clock_);
        done = true;
    });
    auto progressed = [&] {
        std::lock_guard<std::mutex> lock(window_.mutex);
        return !window_.progress.empty() && window_.progress.back().percent >= 10;
    };
    while (!done && !progressed())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    GetTransferProtocol().CancelSend();
    sender.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, L"已取消发送");
    EXPECT_FALSE(GetTransferProtocol().IsSending());
    EXPECT_EQ(OwnClipboardWriteDepth(), 0);
}

}  // namespace
}  // namespace zovrel
