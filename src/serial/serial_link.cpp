#include "serial/serial_link.h"

#include "base/text.h"
#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"
#include "settings/log_file.h"
#include "settings/protocol_log.h"
#include "settings/settings_file.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {
namespace {

constexpr uint32_t END_READER = UINT32_MAX;     // ReaderPass: the thread ends
constexpr uint32_t CLOSED_RETRY_MS = 500;       // reconnect pacing while closed
constexpr uint32_t CHECKS_DELAY_MS = 10000;     // no watchdog checks right after an open
constexpr uint32_t NO_DATA_WARNING_MS = 15000;  // nothing ever received
constexpr uint32_t ECHO_TIMEOUT_MS = 10000;     // data seen, but no heartbeat
// A candidate frame still incomplete this long after the last byte is not coming: a whole frame
// takes 330 ms on the wire, and the device gives up on our reply after 2000 ms.
constexpr uint32_t STALLED_CANDIDATE_MS = 1000;
constexpr size_t READ_CHUNK = 8192;

}  // namespace

SerialLink::SerialLink(Notifier* window, Options options)
    : window_(window),
      port_(options.port ? std::move(options.port) : CreateSystemSerialPort()),
      ownPresence_(options.presence ? nullptr : CreateSystemPortPresence()),
      presence_(options.presence ? *options.presence : *ownPresence_),
      ticks_(options.ticks ? *options.ticks : SystemTicks()),
      configuredPort_(options.configuredPort ? std::move(options.configuredPort)
                                             : std::function<std::wstring()>(ReadUartComPort)),
      manualReader_(options.manualReader) {}

SerialLink::SerialLink(Notifier* window) : SerialLink(window, Options()) {}

SerialLink::~SerialLink() {
    Close();
}

bool SerialLink::StartFromSettings() {
    const std::wstring name = TrimText(configuredPort_());
    if (name.empty()) {
        Close();
        SetPortName(L"");
        PostStateChanged();
        return true;
    }
    return Open(name);
}

bool SerialLink::Open(const std::wstring& name) {
    StopReader();
    const std::wstring trimmed = TrimText(name);
    bool opened = false;
    {
        std::lock_guard lock(lock_);
        port_->Close();
        isOpen_ = false;
        SetPortName(trimmed);
        if (!trimmed.empty())
            opened = OpenPort(trimmed);
    }
    SetOpenFailure(opened ? L"" : trimmed);
    if (!opened && !trimmed.empty())
        NotifyStatus(FormatText(L"串口打开失败: %ls", trimmed.c_str()));
    StartReader();
    PostStateChanged();
    return IsOpen();
}

void SerialLink::Close() {
    StopReader();
    bool wasOpen = false;
    {
        std::lock_guard lock(lock_);
        wasOpen = isOpen_;
        port_->Close();
        isOpen_ = false;
    }
    SetOpenFailure(L"");
    if (wasOpen)
        NotifyStatus(L"串口已关闭");
}

void SerialLink::StartReader() {
    if (manualReader_ || reader_.joinable())
        return;
    if (TrimText(configuredPort_()).empty())
        return;
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = false;
    }
    try {
        reader_ = std::thread(&SerialLink::ReaderLoop, this);
    } catch (const std::system_error&) {
        // No thread could be started: the session simply has no reader.
    }
}

void SerialLink::StopReader() {
    if (!reader_.joinable())
        return;
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopEvent_.notify_all();
    reader_.join();
}

bool SerialLink::WaitForStop(uint32_t ms) {
    std::unique_lock lock(stopMutex_);
    if (ms == 0)
        return stopRequested_;
    return stopEvent_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopRequested_; });
}

bool SerialLink::Write(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0)
        return false;
    std::lock_guard lock(lock_);
    if (!isOpen_ || !port_->IsOpen())
        return false;
    return port_->WriteAll(data, size);
}

void SerialLink::StampEcho() {
    std::lock_guard lock(lock_);
    lastActivityTick_ = ticks_.Now();
}

bool SerialLink::IsOpen() {
    return isOpen_;
}

std::wstring SerialLink::PortName() {
    std::lock_guard lock(nameLock_);
    return portName_;
}

void SerialLink::SetPortName(const std::wstring& name) {
    std::lock_guard lock(nameLock_);
    portName_ = name;
}

std::wstring SerialLink::OpenFailure() {
    std::lock_guard lock(nameLock_);
    return openFailure_;
}

void SerialLink::SetOpenFailure(const std::wstring& name) {
    std::lock_guard lock(nameLock_);
    openFailure_ = name;
}

size_t SerialLink::ReceiveBufferSize() {
    std::lock_guard lock(lock_);
    return receiveBuffer_.size();
}

bool SerialLink::OpenPort(const std::wstring& name) {
    std::lock_guard lock(lock_);
    const std::wstring trimmed = TrimText(name);
    if (trimmed.empty())
        return false;
    uint32_t error = 0;
    if (!port_->Open(trimmed, &error))
        return false;
    SetPortName(trimmed);
    isOpen_ = true;
    SetOpenFailure(L"");
    rxByteCount_ = 0;
    noDataWarned_ = false;
    firstDataLogged_ = false;
    const uint32_t now = ticks_.Now();
    lastActivityTick_ = now;
    checksFromTick_ = now + CHECKS_DELAY_MS;
    NotifyStatus(FormatText(L"串口已打开: %ls @ %lu bps", trimmed.c_str(),
                            static_cast<unsigned long>(SERIAL_BAUD_RATE)));
    return true;
}

void SerialLink::ReaderLoop() {
    for (;;) {
        if (WaitForStop(0))
            return;
        const uint32_t wait = ReaderPass();
        if (wait == END_READER)
            return;
        if (WaitForStop(wait))
            return;
    }
}

uint32_t SerialLink::ReaderPass() {
    if (TrimText(configuredPort_()).empty())
        return END_READER;
    bool open = false;
    {
        std::lock_guard lock(lock_);
        open = isOpen_ && port_->IsOpen();
    }
    if (!open) {
        TryReconnect();
        GetTransferProtocol().AbandonSilentInbound(ticks_.Now());
        return CLOSED_RETRY_MS;
    }
    // The read itself waits when nothing comes and returns as soon as bytes arrive, so a pass
    // that read something loops again at once and a reply is never held back.
    const uint32_t readWait = LineIsQuiet() ? SERIAL_IDLE_READ_WAIT_MS : SERIAL_READ_WAIT_MS;
    const uint32_t started = ticks_.Now();
    const size_t received = ReadAvailable(readWait);
    if (received == 0)
        GiveUpStalledCandidate();
    if (!CheckPortAlive()) {
        OnConnectionLost();
    } else {
        // First, so that an abandoned transfer no longer holds off the watchdog.
        GetTransferProtocol().AbandonSilentInbound(ticks_.Now());
        Watchdog();
    }
    if (received > 0)
        return 0;
    const uint32_t spent = ticks_.Now() - started;
    return spent >= readWait ? 0 : readWait - spent;
}

bool SerialLink::LineIsQuiet() {
    // The engine is asked before the session lock is taken, as the watchdog does.
    TransferProtocol& engine = GetTransferProtocol();
    if (engine.IsReceiving() || engine.IsSending())
        return false;
    std::lock_guard lock(lock_);
    return receiveBuffer_.empty();
}

size_t SerialLink::ReadAvailable(uint32_t waitMs) {
    {
        std::lock_guard lock(lock_);
        if (!isOpen_)
            return 0;
    }
    uint8_t buffer[READ_CHUNK];
    size_t received = 0;
    if (!port_->Read(buffer, sizeof buffer, &received, waitMs) || received == 0)
        return 0;
    bool logFirst = false;
    {
        std::lock_guard lock(lock_);
        lastByteTick_ = ticks_.Now();
        rxByteCount_ += received;
        logFirst = !firstDataLogged_;
        firstDataLogged_ = true;
    }
    if (logFirst)
        LogSys(FormatText(L"收到串口原始数据 %u B", static_cast<unsigned>(received)));
    FeedReceivedBytes(*this, buffer, received);
    return received;
}

bool SerialLink::CheckPortAlive() {
    std::wstring name;
    {
        std::lock_guard lock(lock_);
        if (!isOpen_ || !port_->IsOpen())
            return false;
        name = PortName();
    }
    if (!presence_.IsPortPresent(name))
        return false;
    return port_->IsAlive();
}

void SerialLink::OnConnectionLost() {
    bool wasOpen = false;
    {
        std::lock_guard lock(lock_);
        wasOpen = isOpen_;
        port_->Close();
        isOpen_ = false;
        if (wasOpen)
            receiveBuffer_.clear();
    }
    if (wasOpen) {
        NotifyStatus(L"串口连接断开");
        PostStateChanged();
    }
}

void SerialLink::TryReconnect() {
    const std::wstring name = TrimText(configuredPort_());
    if (name.empty() || !presence_.IsPortPresent(name))
        return;
    bool reopened = false;
    {
        std::lock_guard lock(lock_);
        if (!isOpen_) {
            SetPortName(name);
            reopened = OpenPort(name);
        }
    }
    if (reopened) {
        NotifyStatus(L"串口已重新连接");
        PostStateChanged();
    }
}

void SerialLink::Watchdog() {
    // Transfers suspend the silence checks; the engine is asked before the session lock is taken.
    TransferProtocol& engine = GetTransferProtocol();
    if (engine.IsReceiving() || engine.IsSending())
        return;

    const uint32_t now = ticks_.Now();
    bool warnNoData = false;
    bool echoTimedOut = false;
    uint32_t elapsed = 0;
    std::wstring name;
    {
        std::lock_guard lock(lock_);
        if (!isOpen_ || lastActivityTick_ == 0 || !TickReached(now, checksFromTick_))
            return;
        elapsed = now - lastActivityTick_;
        name = PortName();
        if (rxByteCount_ == 0) {
            if (elapsed > NO_DATA_WARNING_MS && !noDataWarned_) {
                noDataWarned_ = true;
                warnNoData = true;
            }
        } else if (elapsed > ECHO_TIMEOUT_MS) {
            echoTimedOut = true;
        }
    }
    if (warnNoData) {
        LogSys(FormatText(L"串口已打开但未收到任何数据 · %ls @ %lu bps · 请确认 COM 口/线缆/下位机",
                          name.c_str(), static_cast<unsigned long>(SERIAL_BAUD_RATE)));
    }
    if (echoTimedOut) {
        LogSys(FormatText(L"ECHO 超时 %us · 重连串口 · %ls", elapsed / 1000, name.c_str()));
        ReconnectAfterEchoTimeout(name);
    }
}

void SerialLink::ReconnectAfterEchoTimeout(const std::wstring& name) {
    const std::wstring trimmed = TrimText(name);
    if (trimmed.empty())
        return;
    {
        std::lock_guard lock(lock_);
        receiveBuffer_.clear();
        port_->Close();
        isOpen_ = false;
    }
    NotifyStatus(L"串口连接断开");
    bool reopened = false;
    {
        std::lock_guard lock(lock_);
        if (presence_.IsPortPresent(trimmed)) {
            SetPortName(trimmed);
            reopened = OpenPort(trimmed);
        }
    }
    if (reopened)
        NotifyStatus(L"串口已重新连接");
    // Posted either way: when the reopen failed the window must not go on showing an open port
    // until the next reconnect.
    PostStateChanged();
}

void SerialLink::NotifyStatus(const std::wstring& text) {
    if (text.empty())
        return;
    AppendToLogFile(text);
    if (window_ != nullptr)
        window_->PostLogText(text);
}

void SerialLink::PostStateChanged() {
    if (window_ != nullptr)
        window_->PostSerialStateChanged();
}

void SerialLink::GiveUpStalledCandidate() {
    {
        std::lock_guard lock(lock_);
        if (receiveBuffer_.size() < FRAME_HEADER_SIZE ||
            ticks_.Now() - lastByteTick_ < STALLED_CANDIDATE_MS)
            return;
    }
    // Stray bytes that look like the start of a long frame (or a frame cut off by a device that
    // reset) would otherwise hold up everything behind them until their declared size arrived.
    DispatchBufferedFrames(IncompleteCandidate::GIVE_UP);
}

void SerialLink::DispatchBufferedFrames(IncompleteCandidate incomplete) {
    for (;;) {
        Frame frame;
        bool extracted = false;
        {
            std::lock_guard lock(lock_);
            extracted = ExtractFrame(receiveBuffer_, frame, incomplete);
        }
        if (!extracted)
            return;

        // MIDDLE_PACKET traffic stays out of the log: a transfer would bury everything else.
        const bool middle = frame.header.type == MIDDLE_PACKET;
        const ReplyList replies = GetTransferProtocol().DispatchFrame(frame);
        for (const Bytes& reply : replies) {
            if (reply.empty())
                continue;
            if (Write(reply) && !middle)
                LogOnChannel(L"TX", L"AUTO TX · " + FrameSummary(reply));
        }
        if (!middle)
            LogOnChannel(L"RX", FrameSummary(frame));
    }
}

void FeedReceivedBytes(SerialLink& link, const uint8_t* data, size_t count) {
    if (data == nullptr || count == 0)
        return;
    {
        std::lock_guard lock(link.lock_);
        link.receiveBuffer_.insert(link.receiveBuffer_.end(), data, data + count);
    }
    link.DispatchBufferedFrames(IncompleteCandidate::WAIT);
}

}  // namespace zovrel
