#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/bytes.h"
#include "base/notifier.h"
#include "base/tick_source.h"
#include "protocol/frame_extractor.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"
#include "transfer/serial_channel.h"

namespace zovrel {

// The one serial session with the device: opens the configured port, runs the reader thread that
// feeds received bytes to the transfer engine and writes its replies, watches the device's
// heartbeat and reconnects by itself. Status texts go to the log file and the main window.
//
// One re-entrant session lock guards every field. It may be held while appending to the log file
// (whose lock is innermost) but never while calling into the transfer engine.
class SerialLink final : public SerialChannel {
  public:
    struct Options {
        std::unique_ptr<SerialPort> port;  // default: this platform's port
        PortPresence* presence = nullptr;  // default: the system's port list
        TickSource* ticks = nullptr;       // default: the system tick counter
        // The configured port name; the program reads the `UartComPort` setting each time, the
        // command-line tool answers with the port it was given.
        std::function<std::wstring()> configuredPort;
        // No reader thread: the caller runs ReaderPass itself (tests with a fake clock).
        bool manualReader = false;
    };

    explicit SerialLink(Notifier* window);
    SerialLink(Notifier* window, Options options);
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // One thread at a time, never the reader: in the program the port requests' thread (see
    // PortRequests), and the window's thread at exit once no request runs.
    bool StartFromSettings();
    bool Open(const std::wstring& name);
    void Close();
    void StartReader();
    void StopReader();

    // Any thread.
    bool Write(const uint8_t* data, size_t size);
    bool Write(const Bytes& frame) override { return Write(frame.data(), frame.size()); }
    void StampEcho() override;
    bool IsOpen() override;
    std::wstring PortName();
    // The port the last Open could not open; empty again once a port opens (a reconnect
    // included) or the port is closed.
    std::wstring OpenFailure();

    // One pass of the reader loop; returns how long to wait before the next one (the rest of the
    // pass's read wait, which is longer while the line is quiet). The thread calls it in a loop;
    // tests call it directly with a fake clock.
    uint32_t ReaderPass();
    // The bytes received and not yet consumed (tests).
    size_t ReceiveBufferSize();

  private:
    friend void FeedReceivedBytes(SerialLink& link, const uint8_t* data, size_t count);

    void ReaderLoop();
    bool OpenPort(const std::wstring& name);
    // No transfer either way and no frame half-received: the reader may wait longer per pass.
    bool LineIsQuiet();
    size_t ReadAvailable(uint32_t waitMs);
    bool CheckPortAlive();
    void OnConnectionLost();
    void TryReconnect();
    void Watchdog();
    void ReconnectAfterEchoTimeout(const std::wstring& name);
    void GiveUpStalledCandidate();
    // Cuts every complete frame out of the receive buffer, dispatches it and writes its replies.
    void DispatchBufferedFrames(IncompleteCandidate incomplete);
    void NotifyStatus(const std::wstring& text);
    void PostStateChanged();
    bool WaitForStop(uint32_t ms);
    void SetPortName(const std::wstring& name);
    void SetOpenFailure(const std::wstring& name);

    Notifier* const window_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<PortPresence> ownPresence_;  // when the options bring none
    PortPresence& presence_;
    TickSource& ticks_;
    std::function<std::wstring()> configuredPort_;
    const bool manualReader_;

    std::recursive_mutex lock_;  // the session lock
    // Written under the session lock; read without it, so the window never waits behind a write
    // or an open to learn the state.
    std::atomic<bool> isOpen_ = false;
    std::mutex nameLock_;  // innermost; guards portName_ and openFailure_ alone
    std::wstring portName_;
    std::wstring openFailure_;
    Bytes receiveBuffer_;
    uint32_t lastByteTick_ = 0;  // when the last bytes were read
    uint32_t lastActivityTick_ = 0;
    uint32_t checksFromTick_ = 0;
    uint64_t rxByteCount_ = 0;
    bool noDataWarned_ = false;
    bool firstDataLogged_ = false;

    // The reader thread and its stop event; started and stopped on the UI thread only.
    std::thread reader_;
    std::mutex stopMutex_;
    std::condition_variable stopEvent_;
    bool stopRequested_ = false;
};

// Appends bytes just read to the link's receive buffer, cuts out every complete frame, hands each
// to the transfer engine and writes its replies back, logging them (reader thread only).
void FeedReceivedBytes(SerialLink& link, const uint8_t* data, size_t count);

}  // namespace zovrel
