#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/notifier.h"

namespace zovrel::test {

// Records every post; `accept` = false makes each post fail, as a full or gone window would.
class RecordingNotifier : public zovrel::Notifier {
public:
    struct Progress {
        int percent;
        std::wstring text;
    };

    bool accept = true;

    bool PostHistoryChanged() override { return Record([&] { ++historyChanged; }); }
    bool PostSerialStateChanged() override { return Record([&] { ++stateChanged; }); }
    bool PostLogText(std::wstring line) override {
        return Record([&] { logLines.push_back(std::move(line)); });
    }
    bool PostReceivedEntry(std::unique_ptr<zovrel::ClipboardEntry> entry) override {
        return Record([&] { entries.push_back(std::shared_ptr<zovrel::ClipboardEntry>(entry.release())); });
    }
    bool PostSendProgress(int percent, std::wstring text) override {
        return Record([&] { progress.push_back({percent, std::move(text)}); });
    }
    bool PostSendResult(bool, std::wstring) override {
        return Record([] {});
    }

    std::mutex mutex;
    int historyChanged = 0;
    int stateChanged = 0;
    std::vector<std::wstring> logLines;
    std::vector<std::shared_ptr<zovrel::ClipboardEntry>> entries;
    std::vector<Progress> progress;

private:
    template <typename F>
    bool Record(F f) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!accept) return false;
        f();
        return true;
    }
};

}  // namespace zovrel::test
