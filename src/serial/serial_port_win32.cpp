#include <windows.h>

#include <algorithm>
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

bool SetTimeouts(HANDLE port, uint32_t readWaitMs) {
    COMMTIMEOUTS timeouts{};
    // MAXDWORD / MAXDWORD / constant is the one combination that makes ReadFile return at once
    // with whatever has arrived, and wait up to the constant only while nothing has: the reader
    // must not hold bytes back for the whole wait.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = readWaitMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = SERIAL_WRITE_TIMEOUT_MS;
    return ::SetCommTimeouts(port, &timeouts) != FALSE;
}

class Win32SerialPort final : public SerialPort {
  public:
    bool Open(const std::wstring& name, uint32_t* errorCode) override {
        Close();
        const DWORD error = OpenDevice(name);
        if (errorCode)
            *errorCode = error;
        return error == ERROR_SUCCESS;
    }

    void Close() override { handle_.Reset(); }

    bool IsOpen() const override { return handle_.IsValid(); }

    bool Read(uint8_t* buffer, size_t capacity, size_t* received, uint32_t waitMs) override {
        *received = 0;
        if (!handle_.IsValid())
            return false;
        if (capacity == 0)
            return true;
        // The wait lives in the driver's time-outs: set only when it changes, which is rare.
        if (waitMs != readWaitMs_ && SetTimeouts(handle_.Get(), waitMs))
            readWaitMs_ = waitMs;
        // Ask for no more than is already queued, or for one byte when nothing is: a read whose
        // count is met returns at once on every driver, whereas the early-return time-out mode
        // is honoured by Windows but not by every emulation of it (Wine waits out the whole wait).
        const size_t limit = capacity > MAXDWORD ? MAXDWORD : capacity;
        DWORD errors = 0;
        COMSTAT status{};
        DWORD request = static_cast<DWORD>(limit);
        if (::ClearCommError(handle_.Get(), &errors, &status))
            request = status.cbInQue == 0
                          ? 1
                          : static_cast<DWORD>(std::min<size_t>(status.cbInQue, limit));
        DWORD got = 0;
        if (!::ReadFile(handle_.Get(), buffer, request, &got, nullptr))
            return false;
        *received = got;
        return true;
    }

    bool WriteAll(const uint8_t* data, size_t size) override {
        if (!handle_.IsValid() || data == nullptr || size == 0)
            return false;
        // The write time-out bounds the call; a count short of the request means it ran out.
        if (size > MAXDWORD)
            return false;
        DWORD written = 0;
        if (!::WriteFile(handle_.Get(), data, static_cast<DWORD>(size), &written, nullptr) ||
            written != size)
            return false;
        ::FlushFileBuffers(handle_.Get());
        return true;
    }

    bool IsAlive() override {
        if (!handle_.IsValid())
            return false;
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(handle_.Get(), &errors, &status) != FALSE;
    }

    void Purge() override {
        if (handle_.IsValid())
            ::PurgeComm(handle_.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

  private:
    DWORD OpenDevice(const std::wstring& name) {
        const std::wstring trimmed = TrimText(name);
        if (trimmed.empty())
            return ERROR_FILE_NOT_FOUND;
        // The \\.\ prefix is what lets COM10 and above open.
        const std::wstring path = L"\\\\.\\" + trimmed;
        UniqueHandle port(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        if (!port.IsValid())
            return ::GetLastError();
        if (!Configure(port.Get())) {
            const DWORD error = ::GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
        }
        SetTimeouts(port.Get(), SERIAL_READ_WAIT_MS);
        readWaitMs_ = SERIAL_READ_WAIT_MS;
        ::PurgeComm(port.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
        handle_ = std::move(port);
        return ERROR_SUCCESS;
    }

    UniqueHandle handle_;
    uint32_t readWaitMs_ = SERIAL_READ_WAIT_MS;  // the read time-out the open port has now
};

}  // namespace

std::unique_ptr<SerialPort> CreateSystemSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

}  // namespace zovrel
