// The system's port back end against a pty. pty_com_bridge.py passes the port in ZOVREL_TEST_PORT
// (under Wine a COM name mapped to the pty) and plays a device that echoes every byte.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"

#ifndef _WIN32
#include <pty.h>
#include <unistd.h>
#endif

namespace zovrel {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Reads until `count` bytes came, the port failed or `ms` passed.
Bytes ReadFromPort(SerialPort& port, size_t count, int ms = 5000) {
    Bytes got;
    const auto start = Clock::now();
    while (got.size() < count && MsSince(start) < ms) {
        uint8_t buffer[8192];
        size_t n = 0;
        if (!port.Read(buffer, sizeof buffer, &n))
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("ZOVREL_TEST_PORT");
        if (name == nullptr)
            GTEST_SKIP() << "ZOVREL_TEST_PORT is not set (run through pty_com_bridge.py)";
        name_ = FromUtf8(name);
        uint32_t error = 0;
        ASSERT_TRUE(port_->Open(name_, &error)) << "error " << error;
    }
    // The device answers a marker instead of echoing it.
    std::string Ask(const std::string& marker) {
        EXPECT_TRUE(
            port_->WriteAll(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()));
        const Bytes answer = ReadFromPort(*port_, 8);
        return std::string(answer.begin(), answer.end());
    }
    std::wstring name_;
    std::unique_ptr<SerialPort> port_ = CreateSystemSerialPort();
};

TEST_F(SerialPortTest, OpensRaw8N1At2000000WithoutFlowControl) {
    EXPECT_EQ(Ask("<<zovrel-test-line?>>"), "LINE-OK\n");
}

TEST_F(SerialPortTest, EchoesEveryByteValueWhileReadingAndWritingOnTwoThreads) {
    // XON/XOFF, CR/LF and the other control bytes are data; the write outgrows the driver buffer.
    Bytes out(64 * 1024);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(i * 7 + i / 256);
    Bytes echoed;
    std::thread reader([&] { echoed = ReadFromPort(*port_, out.size(), 15000); });
    EXPECT_TRUE(port_->WriteAll(out.data(), out.size()));
    reader.join();
    EXPECT_EQ(echoed, out);
}

TEST_F(SerialPortTest, ReadReturnsAsSoonAsTheEchoArrivesAndWaitsBoundedWhenNone) {
    // Twenty round trips whose reads each waited out the 50 ms bound would take a second.
    auto start = Clock::now();
    for (uint8_t byte = 0x40; byte < 0x54; ++byte) {
        ASSERT_TRUE(port_->WriteAll(&byte, 1));
        EXPECT_EQ(ReadFromPort(*port_, 1), Bytes{byte});
    }
    EXPECT_LT(MsSince(start), 950);
    start = Clock::now();
    uint8_t buffer[64];
    size_t n = 99;
    EXPECT_TRUE(port_->Read(buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_GE(MsSince(start), 30);
    EXPECT_LT(MsSince(start), 3000);
}

#ifdef _WIN32
TEST_F(SerialPortTest, IsListedWithADescription) {
    bool listed = false;
    for (const auto& info : EnumeratePorts())
        listed |= EqualsIgnoreCase(info.portName, name_) && !info.displayText.empty();
    EXPECT_TRUE(listed);
}
#else
TEST_F(SerialPortTest, HasOneOwnerAtATime) {
    auto second = CreateSystemSerialPort();
    uint32_t error = 0;
    EXPECT_FALSE(second->Open(name_, &error));
    EXPECT_EQ(error, uint32_t(EBUSY));
    port_->Close();
    EXPECT_TRUE(second->Open(name_, &error)) << error;
}

TEST(SerialPortWrite, GivesUpAfterItsBoundWhenNothingDrains) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    auto port = CreateSystemSerialPort();
    ASSERT_TRUE(port->Open(FromUtf8(name), nullptr));
    const Bytes out(1024 * 1024, 0x55);
    const auto start = Clock::now();
    EXPECT_FALSE(port->WriteAll(out.data(), out.size()));
    EXPECT_TRUE(MsSince(start) >= 4500 && MsSince(start) < 20000) << MsSince(start);
    ::close(master);
    ::close(slave);
}
#endif

TEST(SerialPortOpen, FailsOnMissingOrNonSerialPorts) {
    auto port = CreateSystemSerialPort();
    uint32_t error = 0;
#ifdef _WIN32
    EXPECT_FALSE(port->Open(L"COM239", &error));
#else
    EXPECT_FALSE(port->Open(L"/dev/null", &error));  // exists, but is no tty
    EXPECT_FALSE(IsPortPresent(L"/tmp"));
#endif
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(port->IsOpen());
}

// Last: the device goes away for good.
TEST_F(SerialPortTest, IsPresentInAnyLetterCaseUntilTheDeviceGoesAway) {
    EXPECT_TRUE(IsPortPresent(L" " + ToLowerAscii(name_) + L" "));
    EXPECT_TRUE(port_->IsAlive());
    EXPECT_EQ(Ask("<<zovrel-test-unplug>>"), "");
    EXPECT_FALSE(port_->IsAlive());
}

}  // namespace
}  // namespace zovrel
