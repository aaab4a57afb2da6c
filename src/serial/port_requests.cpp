#include "serial/port_requests.h"

#include <chrono>
#include <utility>

#include "base/notifier.h"
#include "serial/serial_link.h"

namespace zovrel {

PortRequests::PortRequests(SerialLink& link, Notifier* window) : link_(link), window_(window) {
    worker_ = std::thread(&PortRequests::Run, this);
    workerId_ = worker_.get_id();
}

PortRequests::~PortRequests() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        waiting_.reset();
    }
    changed_.notify_all();
    worker_.join();
}

void PortRequests::Open(const std::wstring& name) {
    Submit({Kind::OPEN, name});
}

void PortRequests::Close() {
    Submit({Kind::CLOSE, {}});
}

void PortRequests::StartFromSettings() {
    Submit({Kind::START, {}});
}

void PortRequests::Submit(Request request) {
    {
        std::lock_guard lock(lock_);
        waiting_ = std::move(request);
    }
    changed_.notify_all();
}

bool PortRequests::Busy() {
    std::lock_guard lock(lock_);
    return running_ || waiting_.has_value();
}

bool PortRequests::Finish(uint32_t ms) {
    std::unique_lock lock(lock_);
    waiting_.reset();
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !running_; });
}

void PortRequests::Run() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || waiting_.has_value(); });
        if (stopping_)
            return;
        const Request request = std::move(*waiting_);
        waiting_.reset();
        running_ = true;
        lock.unlock();
        switch (request.kind) {
            case Kind::OPEN:
                link_.Open(request.name);
                break;
            case Kind::CLOSE:
                link_.Close();
                break;
            case Kind::START:
                link_.StartFromSettings();
                break;
        }
        lock.lock();
        running_ = false;
        const bool idle = !waiting_.has_value();
        changed_.notify_all();
        // Posted once the request no longer counts as under way, so the window shows its end.
        if (idle && window_ != nullptr) {
            lock.unlock();
            window_->PostSerialStateChanged();
            lock.lock();
        }
    }
}

}  // namespace zovrel
