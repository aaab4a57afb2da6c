#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>

#include "base/text.h"
#include "serial/serial_port.h"

namespace zovrel {
namespace {

using Clock = std::chrono::steady_clock;

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Raw 8N1 at 2000000 baud, no flow control of any kind: the link carries binary frames, so
// XON/XOFF, parity marking or CR/LF translation would corrupt them.
int Configure(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return errno;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | IGNBRK | BRKINT);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B2000000) != 0 || ::cfsetospeed(&tio, B2000000) != 0)
        return errno;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    // tcsetattr succeeds when any part of the request was applied; make sure the rate was.
    termios check{};
    if (::tcgetattr(fd, &check) != 0)
        return errno;
    if (::cfgetospeed(&check) != B2000000 || (check.c_cflag & CSIZE) != CS8 ||
        (check.c_cflag & (PARENB | CSTOPB)) != 0)
        return EINVAL;
    // A pty has no modem lines; everything else must accept DTR and RTS.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return errno;
    return 0;
}

class PosixSerialPort final : public SerialPort {
  public:
    bool Open(const std::wstring& name, uint32_t* errorCode) override {
        Close();
        const int error = OpenDevice(name);
        if (errorCode)
            *errorCode = static_cast<uint32_t>(error);
        return error == 0;
    }

    void Close() override { fd_.Reset(); }

    bool IsOpen() const override { return fd_.valid(); }

    bool Read(uint8_t* buffer, size_t capacity, size_t* received, uint32_t waitMs) override {
        *received = 0;
        if (!fd_.valid())
            return false;
        if (capacity == 0)
            return true;
        pollfd p{fd_.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(waitMs, INT_MAX)));
        if (ready < 0)
            return errno == EINTR;
        if (ready == 0)
            return true;
        if ((p.revents & POLLNVAL) != 0)
            return false;
        const ssize_t n = ::read(fd_.get(), buffer, capacity);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        return false;  // end of file after a hang-up, or an I/O error
    }

    bool WriteAll(const uint8_t* data, size_t size) override {
        if (!fd_.valid() || data == nullptr || size == 0)
            return false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(SERIAL_WRITE_TIMEOUT_MS);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_.get(), data + done, size - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            const int wait = RemainingMs(deadline);
            if (wait == 0)
                return false;
            pollfd p{fd_.get(), POLLOUT, 0};
            if (::poll(&p, 1, wait) < 0 && errno != EINTR)
                return false;
            if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return false;
        }
        DrainOutput(deadline);
        return true;
    }

    bool IsAlive() override {
        if (!fd_.valid())
            return false;
        pollfd p{fd_.get(), 0, 0};
        if (::poll(&p, 1, 0) < 0 && errno != EINTR)
            return false;
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return false;
        int pending = 0;
        return ::ioctl(fd_.get(), FIONREAD, &pending) == 0;
    }

    void Purge() override {
        if (fd_.valid())
            ::tcflush(fd_.get(), TCIOFLUSH);
    }

  private:
    int OpenDevice(const std::wstring& name) {
        std::string path = ToUtf8(TrimText(name));
        if (path.empty())
            return ENOENT;
        if (path[0] != '/')
            path = "/dev/" + path;
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid())
            return errno;
        if (!::isatty(fd.get()))
            return ENOTTY;
        // One owner at a time, as a Windows COM port is: a second reader would steal bytes.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? EBUSY : errno;
        ::ioctl(fd.get(), TIOCEXCL);
        if (const int error = Configure(fd.get()); error != 0)
            return error;
        ::tcflush(fd.get(), TCIOFLUSH);
        fd_ = std::move(fd);
        return 0;
    }

    // Waits, within the write's own bound, until the driver has sent what it holds (tcdrain
    // could block without limit on a device that stopped taking data).
    void DrainOutput(Clock::time_point deadline) {
        for (;;) {
            int queued = 0;
            if (::ioctl(fd_.get(), TIOCOUTQ, &queued) != 0 || queued <= 0)
                return;
            if (RemainingMs(deadline) == 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<SerialPort> CreateSystemSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

}  // namespace zovrel
