#pragma once

// The requests waiting for the one image-decoding thread. What the user looks at now matters
// more than what was asked for earlier: the newest request is served first, requests beyond
// the capacity are dropped from the old end (rows scrolled past), and one urgent request (the
// preview) waits apart from them, is served before them, and is replaced by a newer one.
//
// The queue's lock is its own: held only inside these calls, never while decoding or posting.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace zovrel::ui {

template <typename Request>
class DecodeQueue {
  public:
    explicit DecodeQueue(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

    // Adds a request at the new end; returns those dropped from the old end to make room, so
    // the caller can ask for them again when it still needs them.
    std::vector<Request> Push(Request request) {
        std::vector<Request> dropped;
        {
            std::lock_guard guard(lock_);
            requests_.push_front(std::move(request));
            while (requests_.size() > capacity_) {
                dropped.push_back(std::move(requests_.back()));
                requests_.pop_back();
            }
        }
        ready_.notify_one();
        return dropped;
    }

    // Replaces the urgent request, if one is waiting.
    void PushUrgent(Request request) {
        {
            std::lock_guard guard(lock_);
            urgent_ = std::move(request);
        }
        ready_.notify_one();
    }

    // Waits for a request: the urgent one, else the newest. None once stopped.
    std::optional<Request> Pop() {
        std::unique_lock guard(lock_);
        ready_.wait(guard, [this] { return stopped_ || urgent_ || !requests_.empty(); });
        if (stopped_) {
            return std::nullopt;
        }
        std::optional<Request> next;
        if (urgent_) {
            next.swap(urgent_);
        } else {
            next = std::move(requests_.front());
            requests_.pop_front();
        }
        return next;
    }

    // Wakes the waiting thread for good; what still waits is dropped.
    void Stop() {
        {
            std::lock_guard guard(lock_);
            stopped_ = true;
            requests_.clear();
            urgent_.reset();
        }
        ready_.notify_all();
    }

  private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<Request> requests_;  // newest at the front
    std::optional<Request> urgent_;
    size_t capacity_;
    bool stopped_ = false;
};

}  // namespace zovrel::ui
