#include <future>
#include <thread>

#include "clipboard/fingerprint.h"
#include "clipboard/history_store.h"
#include "support/test_support.h"
#include "transfer/inbound_device.h"
#include "transfer/outbound_payload.h"
#include "transfer/outbound_send.h"

namespace zovrel::test {
namespace {

using TransferThreadTest = EngineTest;

// The device sends `file` again and again until `stop`.
void ReceiveUntil(const std::atomic<bool>& stop, const Bytes& file) {
    while (!stop) {
        EngineTest::Dispatch(EngineTest::First(DATA_TYPE_FILE, file, L"busy.bin"));
        for (size_t at = 0; at < file.size(); at += 10000)
            EngineTest::Dispatch(EngineTest::Middle(file, at, 10000));
        EngineTest::Dispatch(EngineTest::Finish());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Meant for ThreadSanitizer as much as for its results. Real time throughout; each answer
// reaches the dispatcher on a thread of its own, as from the serial reader.
TEST_F(TransferThreadTest, SendReceiveAndUserInterfaceShareTheEngine) {
    std::vector<std::future<ReplyList>> readers;
    device_.answer = [&readers](const Frame& f, size_t) {
        readers.push_back(std::async(std::launch::async, Dispatch, Cooperative(f)[0]));
        return Frames{};
    };
    ClipboardEntry entry;
    entry.text = std::wstring(25000, L'a');
    const Bytes file = PatternBytes(100000);
    for (const bool cancel : {false, true}) {
        std::atomic<bool> done{false};
        bool result = false;
        std::wstring error;
        std::thread sender([&] {
            result = GetTransferProtocol().Send(entry, &window_, error);
            done = true;
        });
        std::thread reader([&] { ReceiveUntil(done, file); });
        // The user interface asks meanwhile; a second send is refused.
        int refused = 0;
        while (!done) {
            std::wstring otherError;
            GetTransferProtocol().IsReceiving();
            if (GetTransferProtocol().IsSending() &&
                !GetTransferProtocol().Send(entry, nullptr, otherError)) {
                refused += otherError == L"另一个剪贴板传输正在进行中";
            }
            if (cancel && GetTransferProtocol().IsSending())
                GetTransferProtocol().CancelSend();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        sender.join();
        reader.join();
        EXPECT_EQ(result, !cancel);
        EXPECT_EQ(error, cancel ? L"已取消发送" : L"");
        EXPECT_GT(refused, 0);
    }
    EXPECT_FALSE(window_.entries.empty());

    // Detached and attached again while frames arrive: no partial file may survive.
    std::atomic<bool> stop{false};
    std::thread reader([&] { ReceiveUntil(stop, file); });
    for (int i = 0; i < 50; ++i) {
        GetTransferProtocol().Detach();
        GetTransferProtocol().Attach(&window_, &device_);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    reader.join();
    GetTransferProtocol().Detach();
    for (const std::string& name : DayFolderNames())
        EXPECT_EQ(ReadFileBytes(DayFolder() / name), file);
}

// A send reads a stored image on its own thread while the window removes the entry or clears
// the history: it gets the whole image or fails, never a part of it.
TEST(HistoryImageSendTest, AnImageRemovedDuringItsSendIsSentWholeOrNotAtAll) {
    TempFolder folder;
    ClipboardHistory history(folder.Text());
    const Bytes image = PatternBytes(3 << 20);
    int whole = 0, lost = 0;
    for (int i = 0; i < 20; ++i) {
        history.AddEntry(ImageEntry(image, L"shot" + std::to_wstring(i) + L".png"));
        const ClipboardEntry entry = *history.GetEntryAt(0);
        ASSERT_TRUE(entry.image.IsFile());
        OutboundPayload payload;
        std::wstring error;
        bool prepared = false;
        std::thread sender([&] { prepared = PrepareOutboundPayload(entry, payload, error); });
        std::this_thread::sleep_for(std::chrono::microseconds(300 * (i % 7)));
        if (i % 2)
            history.RemoveEntry(0);
        else
            history.ClearHistory();
        sender.join();
        if (prepared) {
            EXPECT_TRUE(payload.bytes == image);
            ++whole;
        } else {
            EXPECT_EQ(error, L"图片文件已丢失");
            ++lost;
        }
    }
    EXPECT_EQ(whole + lost, 20);
}

// Fingerprints completed on their own thread while the window changes the history: each one
// kept is that of its entry's content.
TEST(HistoryImageSendTest, FingerprintsAreCompletedWhileTheHistoryChanges) {
    TempFolder folder;
    {
        ClipboardHistory history(folder.Text());
        for (int i = 0; i < 8; ++i)
            history.AddEntry(ImageEntry(PatternBytes(1 << 20, i), std::to_wstring(i) + L".png"));
    }
    for (int i = 1; i <= 8; ++i) {  // as a previous version left them: nothing stored
        std::string meta = ReadFileBytes(folder.File(std::to_wstring(i) + L".meta"));
        WriteFileBytes(folder.File(std::to_wstring(i) + L".meta"),
                       meta.substr(0, meta.find("Fingerprint=")));
    }
    ClipboardHistory history(folder.Text());
    std::jthread worker([&] { history.CompleteFingerprints(); });
    for (int i = 0; i < 4; ++i) {
        history.RemoveEntry(i);
        history.AddEntry(TextEntry(L"text " + std::to_wstring(i)));
        history.MoveEntryToTop(3);
    }
    worker.join();
    for (int i = 0; i < history.GetEntryCount(); ++i)
        EXPECT_EQ(history.GetFingerprintAt(i), ComputeFingerprint(*history.GetEntryAt(i))) << i;
}

// The sender sleeps between looks at the reply queue; a reply queued meanwhile wakes it at once
// (a wait this long ends only that way), and a wake given before the wait is not lost.
TEST_F(TransferThreadTest, AQueuedReplyWakesTheWaitingSender) {
    ProtocolEngine& engine = *GetTransferProtocol().AttachedEngine();
    ASSERT_TRUE(engine.BeginSend());
    for (const bool early : {false, true}) {
        std::thread reader([] { Dispatch(Reply(3)); });
        if (early)
            reader.join();
        EXPECT_TRUE(engine.WaitForReply(SystemTicks(), 600000));
        if (!early)
            reader.join();
        PendingReply reply;
        ASSERT_TRUE(engine.TakeReply(reply));
        EXPECT_EQ(reply.sn, 3u);
    }
    engine.EndSend();
}

}  // namespace
}  // namespace zovrel::test
