#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zovrel {

class Notifier;
class SerialLink;

// Opens and closes the link's port on a thread of its own, so the window's thread never waits on
// the line: opening a Bluetooth port or one that just vanished can block for seconds, and closing
// joins the reader. Requests are not queued: one made while another runs replaces any still
// waiting, so only the last choice is carried out. Each request ends with a state-changed post.
class PortRequests {
  public:
    PortRequests(SerialLink& link, Notifier* window);
    // Drops what waits and waits for the request that runs.
    ~PortRequests();
    PortRequests(const PortRequests&) = delete;
    PortRequests& operator=(const PortRequests&) = delete;

    // Any thread; none of them waits.
    void Open(const std::wstring& name);
    void Close();
    void StartFromSettings();

    // A request waits or runs: the port's state is about to change.
    bool Busy();
    // Drops what waits and waits at most `ms` for the request that runs; true when none runs.
    bool Finish(uint32_t ms);
    // The thread the requests run on.
    std::thread::id WorkerId() const { return workerId_; }

  private:
    enum class Kind { OPEN, CLOSE, START };
    struct Request {
        Kind kind;
        std::wstring name;
    };

    void Submit(Request request);
    void Run();

    SerialLink& link_;
    Notifier* const window_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::optional<Request> waiting_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread worker_;
    std::thread::id workerId_;
};

}  // namespace zovrel
