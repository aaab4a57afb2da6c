#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"

namespace zovrel {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A pty stands in for the device: the port opens the slave path, the test plays the device on
// the master side.
class PtyDevice {
  public:
    PtyDevice() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0)
            path_ = name;
    }
    ~PtyDevice() {
        CloseMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    bool ok() const { return !path_.empty(); }
    std::wstring path() const { return FromUtf8(path_); }
    int slave() const { return slave_; }

    void Send(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<size_t>(n);
        }
    }
    // Everything the port wrote, waiting up to `ms` for `count` bytes.
    Bytes Receive(size_t count, int ms = 5000) {
        Bytes got;
        const auto start = Clock::now();
        while (got.size() < count && MsSince(start) < ms) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            uint8_t buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    void CloseMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

Bytes EveryByteValue(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return bytes;
}

// Reads until `count` bytes came or a few seconds passed.
Bytes ReadFromPort(SerialPort& port, size_t count) {
    Bytes got;
    const auto start = Clock::now();
    while (got.size() < count && MsSince(start) < 5000) {
        uint8_t buffer[8192];
        size_t n = 0;
        if (!port.Read(buffer, sizeof buffer, &n))
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

class PosixSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.ok());
        uint32_t error = 0;
        ASSERT_TRUE(port->Open(device.path(), &error)) << error;
    }
    PtyDevice device;
    std::unique_ptr<SerialPort> port = CreateSystemSerialPort();
};

TEST_F(PosixSerialPortTest, OpensRaw8N1At2000000WithoutFlowControl) {
    EXPECT_TRUE(port->IsOpen());
    termios tio{};
    ASSERT_EQ(::tcgetattr(device.slave(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B2000000);
    EXPECT_EQ(::cfgetispeed(&tio), B2000000);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerialPortTest, CarriesEveryByteValueUnchangedBothWays) {
    // XON/XOFF, CR/LF and control characters must pass as data.
    const Bytes out = EveryByteValue(3000);
    ASSERT_TRUE(port->WriteAll(out.data(), out.size()));
    EXPECT_EQ(device.Receive(out.size()), out);

    const Bytes in = EveryByteValue(2000);
    device.Send(in);
    EXPECT_EQ(ReadFromPort(*port, in.size()), in);
}

TEST_F(PosixSerialPortTest, ReadReturnsAsSoonAsBytesAreThereAndWaitsBoundedWhenNone) {
    // Twenty reads that each find one waiting byte: were each to wait out the 50 ms bound,
    // they would take a second.
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        device.Send({static_cast<uint8_t>(i)});
        uint8_t buffer[64];
        size_t n = 0;
        ASSERT_TRUE(port->Read(buffer, sizeof buffer, &n));
        ASSERT_EQ(n, 1u);
        EXPECT_EQ(buffer[0], i);
    }
    EXPECT_LT(MsSince(start), 900);

    const auto idle = Clock::now();
    uint8_t buffer[64];
    size_t n = 99;
    EXPECT_TRUE(port->Read(buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_GE(MsSince(idle), 40);
    EXPECT_LT(MsSince(idle), 3000);
}

TEST_F(PosixSerialPortTest, WriteAllFinishesAWriteLargerThanTheDriverBuffer) {
    const Bytes out = EveryByteValue(256 * 1024);
    Bytes got;
    std::thread reader([&] { got = device.Receive(out.size(), 20000); });
    EXPECT_TRUE(port->WriteAll(out.data(), out.size()));
    reader.join();
    EXPECT_EQ(got, out);
}

TEST_F(PosixSerialPortTest, WriteAllGivesUpAfterItsBoundWhenNothingDrains) {
    const Bytes out = EveryByteValue(1024 * 1024);
    const auto start = Clock::now();
    EXPECT_FALSE(port->WriteAll(out.data(), out.size()));
    EXPECT_GE(MsSince(start), 4500);
    EXPECT_LT(MsSince(start), 20000);
    EXPECT_FALSE(port->WriteAll(out.data(), 0));
}

TEST_F(PosixSerialPortTest, DetectsTheDeviceGoingAway) {
    EXPECT_TRUE(port->IsAlive());
    device.CloseMaster();
    EXPECT_FALSE(port->IsAlive());
    uint8_t buffer[16];
    size_t n = 0;
    EXPECT_FALSE(port->Read(buffer, sizeof buffer, &n));
    EXPECT_FALSE(port->WriteAll(buffer, sizeof buffer));
    port->Close();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->IsAlive());
    EXPECT_FALSE(port->Read(buffer, sizeof buffer, &n));
}

TEST_F(PosixSerialPortTest, PurgeDropsUnreadInput) {
    device.Send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->Purge();
    device.Send({4});
    EXPECT_EQ(ReadFromPort(*port, 1), Bytes{4});
}

TEST_F(PosixSerialPortTest, OnlyOneOwnerAtATimeAndReopenWorks) {
    auto second = CreateSystemSerialPort();
    uint32_t error = 0;
    EXPECT_FALSE(second->Open(device.path(), &error));
    EXPECT_EQ(error, static_cast<uint32_t>(EBUSY));
    EXPECT_FALSE(second->IsOpen());

    port->Close();
    ASSERT_TRUE(second->Open(device.path(), &error)) << error;
    // Opening discards what arrived before.
    device.Send({9, 8});
    EXPECT_EQ(ReadFromPort(*second, 2), (Bytes{9, 8}));
}

TEST(PosixSerialPortOpen, FailsWithTheSystemErrorOnMissingOrNonSerialPaths) {
    auto port = CreateSystemSerialPort();
    uint32_t error = 0;
    EXPECT_FALSE(port->Open(L"/dev/zovrel-no-such-port", &error));
    EXPECT_EQ(error, static_cast<uint32_t>(ENOENT));
    EXPECT_FALSE(port->Open(L"/dev/null", &error));
    EXPECT_EQ(error, static_cast<uint32_t>(ENOTTY));
    EXPECT_FALSE(port->Open(L"  ", &error));
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(port->IsOpen());
}

TEST(PosixPortPresence, APtyIsPresentWhileItExists) {
    std::wstring path;
    {
        PtyDevice device;
        ASSERT_TRUE(device.ok());
        path = device.path();
        EXPECT_TRUE(IsPortPresent(path));
        EXPECT_TRUE(IsPortPresent(L"  " + path + L" "));
        EXPECT_TRUE(IsPortPresent(path.substr(5)));  // "pts/N" means /dev/pts/N
    }
    EXPECT_FALSE(IsPortPresent(path));
    EXPECT_FALSE(IsPortPresent(L"/dev/null-zovrel"));
    EXPECT_FALSE(IsPortPresent(L"/tmp"));
}

}  // namespace
}  // namespace zovrel
