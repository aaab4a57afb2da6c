#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "base/bytes.h"
#include "base/text.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"

namespace zovrel::test {

// An in-memory serial port with a device on the other end, for tests of code above the port.
// The test plays the device: DeviceSend queues bytes for the port to read, TakeWritten returns
// what the port wrote. It also answers presence for its one port name, so a session that asks
// "is my port still there?" sees Unplug/Plug. Every call is thread-safe. A port that `waits`
// holds an empty read for the wait asked, as a driver does; otherwise reads return at once.
class FakeSerialPort final : public zovrel::SerialPort, public zovrel::PortPresence {
  public:
    explicit FakeSerialPort(std::wstring name = L"COM3", bool waits = false)
        : name_(std::move(name)), waits_(waits) {}

    // The port, as the session sees it.
    bool Open(const std::wstring& name, uint32_t* errorCode) override {
        std::this_thread::sleep_for(openDelay_.load());  // a port slow to open blocks its caller
        std::lock_guard lock(mutex_);
        open_ = false;
        uint32_t error = openError_;
        if (error == 0 && (!plugged_ || !zovrel::EqualsIgnoreCase(zovrel::TrimText(name), name_)))
            error = 2;  // ERROR_FILE_NOT_FOUND
        if (errorCode)
            *errorCode = error;
        if (error != 0)
            return false;
        open_ = true;
        ++opens_;
        toHost_.clear();  // opening discards what the driver held, as the real ports do
        return true;
    }
    void Close() override {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    bool IsOpen() const override {
        std::lock_guard lock(mutex_);
        return open_;
    }
    bool Read(uint8_t* buffer, size_t capacity, size_t* received, uint32_t waitMs) override {
        std::unique_lock lock(mutex_);
        *received = 0;
        lastReadWait_ = waitMs;
        changed_.wait_for(lock, std::chrono::milliseconds(waits_ ? waitMs : 0),
                          [&] { return !toHost_.empty() || !open_ || !plugged_; });
        if (!open_ || !plugged_)
            return false;
        while (*received < capacity && !toHost_.empty()) {
            buffer[(*received)++] = toHost_.front();
            toHost_.pop_front();
        }
        return true;
    }
    bool WriteAll(const uint8_t* data, size_t size) override {
        std::unique_lock lock(mutex_);
        if (!open_ || !plugged_ || data == nullptr || size == 0)
            return false;
        if (held_) {  // a device that stopped reading: the write waits, then times out
            ++heldWrites_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !held_; });
            return false;
        }
        fromHost_.insert(fromHost_.end(), data, data + size);
        changed_.notify_all();
        return true;
    }
    bool IsAlive() override {
        std::lock_guard lock(mutex_);
        return open_ && plugged_;
    }
    void Purge() override {
        std::lock_guard lock(mutex_);
        toHost_.clear();
    }

    // Presence of its one port name.
    bool IsPortPresent(std::wstring_view name) override {
        std::lock_guard lock(mutex_);
        return plugged_ && zovrel::EqualsIgnoreCase(zovrel::TrimText(name), name_);
    }

    // The device side, for the test.
    void DeviceSend(const zovrel::Bytes& bytes) {
        std::lock_guard lock(mutex_);
        toHost_.insert(toHost_.end(), bytes.begin(), bytes.end());
        changed_.notify_all();
    }
    // Everything the port wrote since the last call.
    zovrel::Bytes TakeWritten() {
        std::lock_guard lock(mutex_);
        zovrel::Bytes out(fromHost_.begin(), fromHost_.end());
        fromHost_.clear();
        return out;
    }
    // The device is pulled: the open port fails reads, writes and the alive check, and the name
    // is no longer present. Plug makes it present again (the port stays closed until reopened).
    void Unplug() {
        std::lock_guard lock(mutex_);
        plugged_ = false;
        changed_.notify_all();
    }
    void Plug() {
        std::lock_guard lock(mutex_);
        plugged_ = true;
    }
    // A non-zero open error makes every Open fail with it until cleared.
    void FailOpen(uint32_t errorCode) {
        std::lock_guard lock(mutex_);
        openError_ = errorCode;
    }

    // While held, writes wait (until released, then fail) as they do when the device has
    // stopped reading; WaitForHeldWrite waits (real time) until one does.
    void Hold(bool hold) {
        std::lock_guard lock(mutex_);
        held_ = hold;
        changed_.notify_all();
    }
    bool WaitForHeldWrite(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return heldWrites_ > 0; });
    }

    // Every later Open blocks this long first, as a Bluetooth port or one just pulled can.
    void SetOpenDelay(std::chrono::milliseconds delay) { openDelay_ = delay; }

    int opens() const {
        std::lock_guard lock(mutex_);
        return opens_;
    }
    uint32_t lastReadWait() const {
        std::lock_guard lock(mutex_);
        return lastReadWait_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    const std::wstring name_;
    const bool waits_;
    uint32_t lastReadWait_ = 0;
    std::deque<uint8_t> toHost_;
    std::deque<uint8_t> fromHost_;
    bool open_ = false;
    bool plugged_ = true;
    uint32_t openError_ = 0;
    int opens_ = 0;
    bool held_ = false;
    int heldWrites_ = 0;
    std::atomic<std::chrono::milliseconds> openDelay_{std::chrono::milliseconds(0)};
};

}  // namespace zovrel::test
