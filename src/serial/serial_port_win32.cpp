#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "base/text.h"
#include "base/win32_handle.h"
#include "serial/serial_port.h"

namespace zovrel {
namespace {

bool Configure(HANDLE port) {
    ::SetupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return false;
    dcb.BaudRate = SERIAL_BAUD_RATE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // The frames are binary: a driver left in XON/XOFF, null-stripping, error-character or
    // DSR-gated mode by another program would swallow or alter bytes of them.
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(port, &dcb) != FALSE;
}

// The handle is overlapped, so a read pending on the reader thread never holds up a write from
// the sender (Windows serialises every call on a handle opened without it). The wait of a read
// is the caller's: it waits on the read's event and cancels what is still pending.
//
// With the early-return mode (MAXDWORD, MAXDWORD, constant) a read returns as soon as a byte
// arrives; the constant only backs up the caller's own wait, which always ends the read first.
constexpr DWORD READ_DRIVER_BOUND_MS = 4 * SERIAL_IDLE_READ_WAIT_MS;

bool SetTimeouts(HANDLE port) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = READ_DRIVER_BOUND_MS;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = SERIAL_WRITE_TIMEOUT_MS;
    return ::SetCommTimeouts(port, &timeouts) != FALSE;
}

// Waits for a request started with `overlapped` for at most `waitMs`, or until `closing` is
// set; cancels it when it is still pending then and always waits for it to end, since the
// system writes into the buffer and the OVERLAPPED until it has. Returns the system's result;
// *done is what it transferred, a cancelled request included.
bool FinishRequest(HANDLE port, OVERLAPPED& overlapped, HANDLE closing, DWORD waitMs, DWORD* done) {
    const HANDLE events[] = {overlapped.hEvent, closing};
    if (::WaitForMultipleObjects(2, events, FALSE, waitMs) != WAIT_OBJECT_0)
        ::CancelIoEx(port, &overlapped);
    *done = 0;
    return ::GetOverlappedResult(port, &overlapped, done, TRUE) != FALSE;
}

class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort()
        : readEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          queuedEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          writeEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          closing_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Win32SerialPort() override { Close(); }

    bool Open(const std::wstring& name, uint32_t* errorCode) override {
        Close();
        const DWORD error = OpenDevice(name);
        if (errorCode)
            *errorCode = error;
        return error == ERROR_SUCCESS;
    }

    // Ends the requests other threads have pending (they return at once, a read as failed) and
    // waits for them before the handle goes, as the system may still be writing into them.
    void Close() override {
        std::unique_lock lock(mutex_);
        if (!handle_.IsValid())
            return;
        closingNow_ = true;
        ::SetEvent(closing_.Get());
        ::CancelIoEx(handle_.Get(), nullptr);
        drained_.wait(lock, [&] { return users_ == 0; });
        if (waiting_.pending) {  // the quiet line's read, cancelled above
            DWORD got = 0;
            ::GetOverlappedResult(handle_.Get(), &waiting_.overlapped, &got, TRUE);
            waiting_.pending = false;
        }
        handle_.Reset();
        ::ResetEvent(closing_.Get());
        closingNow_ = false;
    }

    bool IsOpen() const override {
        std::lock_guard lock(mutex_);
        return handle_.IsValid() && !closingNow_;
    }

    // On a quiet line a one-byte read stays pending from one call to the next, so an idle pass
    // is a single wait instead of a request started, cancelled and drained every time (each a
    // round trip to the Wine server, or a driver call on Windows).
    bool Read(uint8_t* buffer, size_t capacity, size_t* received, uint32_t waitMs) override {
        *received = 0;
        std::lock_guard reading(readMutex_);
        const Use use(*this);
        if (use.port == nullptr)
            return false;
        if (capacity == 0)
            return true;
        const ULONGLONG deadline = ::GetTickCount64() + waitMs;
        for (bool issuedHere = false;;) {
            if (!waiting_.pending) {
                const size_t queued = QueuedBytes(use.port);
                if (queued > 0)  // what is queued completes at once, without a pending read
                    return ReadQueued(use.port, buffer, std::min(queued, capacity), received);
                if (!StartOneByteRead(use.port))
                    return false;
                issuedHere = true;
            }
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            const HANDLE events[] = {readEvent_.Get(), closing_.Get()};
            const DWORD woke = ::WaitForMultipleObjects(2, events, FALSE, left);
            // Empty; the read stays pending for the next call. A close that began since the
            // wait ended fails the next call, so no extra check is paid on every quiet pass.
            if (woke == WAIT_TIMEOUT)
                return true;
            if (woke != WAIT_OBJECT_0)
                return false;  // closing: Close cancels and drains the read
            DWORD got = 0;
            const bool ok = ::GetOverlappedResult(use.port, &waiting_.overlapped, &got, FALSE);
            waiting_.pending = false;
            if (!ok && ::GetLastError() != ERROR_OPERATION_ABORTED)
                return false;
            // A purge since the read began discards what it took (Purge aborts the read).
            if (got == 1 && waiting_.epoch == purgeEpoch_.load()) {
                buffer[0] = waiting_.byte;
                size_t more = 0;  // whatever came with it, kept even when that read fails
                const size_t queued = capacity > 1 ? QueuedBytes(use.port) : 0;
                if (queued > 0)
                    ReadQueued(use.port, buffer + 1, std::min(queued, capacity - 1), &more);
                *received = 1 + more;
                return !Closing();
            }
            // The driver's own bound ended a read begun by an earlier call: begin another for
            // what is left of this wait. One that ends empty at once is not retried.
            if (issuedHere)
                return !Closing();
        }
    }

    bool WriteAll(const uint8_t* data, size_t size) override {
        if (data == nullptr || size == 0 || size > MAXDWORD)
            return false;
        // One write at a time: their bytes never interleave, and the OVERLAPPED is theirs.
        std::lock_guard writing(writeMutex_);
        const Use use(*this);
        if (use.port == nullptr)
            return false;
        OVERLAPPED overlapped{};
        overlapped.hEvent = writeEvent_.Get();
        ::ResetEvent(overlapped.hEvent);
        DWORD written = 0;
        bool ok = false;
        if (::WriteFile(use.port, data, static_cast<DWORD>(size), nullptr, &overlapped)) {
            ok = ::GetOverlappedResult(use.port, &overlapped, &written, FALSE) != FALSE;
        } else if (::GetLastError() == ERROR_IO_PENDING) {
            // The driver's write time-out ends it too; a count short of the request means one
            // of the two ran out.
            ok = FinishRequest(use.port, overlapped, closing_.Get(), SERIAL_WRITE_TIMEOUT_MS,
                               &written);
        }
        if (!ok || written != size)
            return false;
        ::FlushFileBuffers(use.port);
        return true;
    }

    bool IsAlive() override {
        std::lock_guard lock(mutex_);
        if (!handle_.IsValid() || closingNow_)
            return false;
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(handle_.Get(), &errors, &status) != FALSE;
    }

    void Purge() override {
        std::lock_guard lock(mutex_);
        if (handle_.IsValid() && !closingNow_) {
            ++purgeEpoch_;
            ::PurgeComm(handle_.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_RXABORT);
        }
    }

  private:
    size_t QueuedBytes(HANDLE port) const {
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
    }

    // Reads bytes the driver already holds: such a read completes at once on every driver.
    bool ReadQueued(HANDLE port, uint8_t* buffer, size_t count, size_t* received) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = queuedEvent_.Get();
        ::ResetEvent(overlapped.hEvent);
        const DWORD request = static_cast<DWORD>(std::min<size_t>(count, MAXDWORD));
        DWORD got = 0;
        bool ok = false;
        if (::ReadFile(port, buffer, request, nullptr, &overlapped))
            ok = ::GetOverlappedResult(port, &overlapped, &got, FALSE) != FALSE;
        else if (::GetLastError() == ERROR_IO_PENDING)
            ok = FinishRequest(port, overlapped, closing_.Get(), SERIAL_READ_WAIT_MS, &got) ||
                 ::GetLastError() == ERROR_OPERATION_ABORTED;
        *received = got;
        return ok && !Closing();
    }

    bool StartOneByteRead(HANDLE port) {
        waiting_.overlapped = OVERLAPPED{};
        waiting_.overlapped.hEvent = readEvent_.Get();
        ::ResetEvent(readEvent_.Get());
        waiting_.epoch = purgeEpoch_.load();
        if (!::ReadFile(port, &waiting_.byte, 1, nullptr, &waiting_.overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return false;
        waiting_.pending = true;  // a read done at once has set the event: the wait sees it
        return true;
    }

    // A read or write in progress: the handle stays open until it ends.
    struct Use {
        explicit Use(Win32SerialPort& owner) : owner(owner) {
            std::lock_guard lock(owner.mutex_);
            if (owner.handle_.IsValid() && !owner.closingNow_) {
                port = owner.handle_.Get();
                ++owner.users_;
            }
        }
        ~Use() {
            if (port == nullptr)
                return;
            std::lock_guard lock(owner.mutex_);
            if (--owner.users_ == 0)
                owner.drained_.notify_all();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        Win32SerialPort& owner;
        HANDLE port = nullptr;
    };

    bool Closing() const { return ::WaitForSingleObject(closing_.Get(), 0) == WAIT_OBJECT_0; }

    DWORD OpenDevice(const std::wstring& name) {
        const std::wstring trimmed = TrimText(name);
        if (trimmed.empty())
            return ERROR_FILE_NOT_FOUND;
        if (!readEvent_.IsValid() || !queuedEvent_.IsValid() || !writeEvent_.IsValid() ||
            !closing_.IsValid())
            return ERROR_NOT_ENOUGH_MEMORY;
        // The \\.\ prefix is what lets COM10 and above open.
        const std::wstring path = L"\\\\.\\" + trimmed;
        UniqueHandle port(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (!port.IsValid())
            return ::GetLastError();
        if (!Configure(port.Get())) {
            const DWORD error = ::GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
        }
        SetTimeouts(port.Get());
        ::PurgeComm(port.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
        std::lock_guard lock(mutex_);
        handle_ = std::move(port);
        return ERROR_SUCCESS;
    }

    // One event and one request per direction; `closing_` is set while Close ends them.
    const UniqueHandle readEvent_;
    const UniqueHandle queuedEvent_;
    const UniqueHandle writeEvent_;
    const UniqueHandle closing_;
    std::mutex readMutex_;
    std::mutex writeMutex_;

    // The one-byte read of a quiet line; its OVERLAPPED and byte are written by the system until
    // it ends. Owned by the reading thread under readMutex_, and by Close once no read is left.
    struct WaitingRead {
        OVERLAPPED overlapped{};
        uint8_t byte = 0;
        bool pending = false;
        uint32_t epoch = 0;
    } waiting_;
    std::atomic<uint32_t> purgeEpoch_ = 0;  // counts purges

    mutable std::mutex mutex_;  // guards the three below; never held across a wait on the line
    std::condition_variable drained_;
    UniqueHandle handle_;
    bool closingNow_ = false;
    int users_ = 0;  // reads and writes under way
};

}  // namespace

std::unique_ptr<SerialPort> CreateSystemSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

}  // namespace zovrel
