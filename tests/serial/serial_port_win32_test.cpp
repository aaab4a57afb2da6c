// The Win32 back end against a real COM port. pty_com_bridge.py maps a pty to a COM name, sets
// ZOVREL_TEST_COM to it and plays an echoing device on the other end; without it these tests
// skip, except those that need no port.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"

namespace zovrel {
namespace {

using Clock = std::chrono::steady_clock;

// Makes the bridge close its end of the line, as an unplugged adapter would.
constexpr char kUnplugMarker[] = "<<zovrel-test-unplug>>";
// Makes the bridge answer with the line settings it sees on its side.
constexpr char kLineMarker[] = "<<zovrel-test-line?>>";

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::wstring TestPortName() {
    const char* name = std::getenv("ZOVREL_TEST_COM");
    return name ? FromUtf8(name) : std::wstring();
}

Bytes EveryByteValue(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return bytes;
}

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

class ComPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        name = TestPortName();
        if (name.empty())
            GTEST_SKIP() << "ZOVREL_TEST_COM is not set (run via pty_com_bridge.py)";
        uint32_t error = 0;
        ASSERT_TRUE(port->Open(name, &error)) << "error " << error;
    }
    std::wstring name;
    std::unique_ptr<SerialPort> port = CreateSystemSerialPort();
};

TEST_F(ComPortTest, EchoesEveryByteValueWhileReadingAndWritingOnTwoThreads) {
    // The reader polls while the sender writes, exactly as the session does.
    const Bytes out = EveryByteValue(32 * 1024);
    Bytes echoed;
    std::thread reader([&] { echoed = ReadFromPort(*port, out.size(), 15000); });
    for (size_t at = 0; at < out.size(); at += 1024)
        ASSERT_TRUE(port->WriteAll(out.data() + at, 1024));
    reader.join();
    EXPECT_EQ(echoed, out);
    EXPECT_TRUE(port->IsAlive());
}

TEST_F(ComPortTest, ConfiguresTheLineRaw8N1At2000000) {
    const std::string marker = kLineMarker;
    ASSERT_TRUE(port->WriteAll(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()));
    std::string answer;
    const auto start = Clock::now();
    while (answer.find('\n') == std::string::npos && MsSince(start) < 5000) {
        uint8_t buffer[256];
        size_t n = 0;
        if (!port->Read(buffer, sizeof buffer, &n))
            break;
        answer.append(reinterpret_cast<const char*>(buffer), n);
    }
    EXPECT_EQ(answer, "LINE-OK\n");
}

TEST_F(ComPortTest, ReadReturnsAsSoonAsTheEchoArrivesAndWaitsBoundedWhenNone) {
    // Twenty single-byte round trips: a read that waited out its 50 ms bound each time would
    // need a full second.
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        const uint8_t byte = static_cast<uint8_t>(0x40 + i);
        ASSERT_TRUE(port->WriteAll(&byte, 1));
        EXPECT_EQ(ReadFromPort(*port, 1), Bytes{byte});
    }
    EXPECT_LT(MsSince(start), 950);

    const auto idle = Clock::now();
    uint8_t buffer[64];
    size_t n = 99;
    EXPECT_TRUE(port->Read(buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_GE(MsSince(idle), 30);
    EXPECT_LT(MsSince(idle), 3000);
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(ComPortTest, IsOpenedByOneOwnerOnly) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine does not enforce exclusive opens of COM ports";
    auto second = CreateSystemSerialPort();
    uint32_t error = 0;
    EXPECT_FALSE(second->Open(name, &error));
    EXPECT_NE(error, 0u);
    port->Close();
    EXPECT_TRUE(second->Open(name, &error)) << error;
}

TEST_F(ComPortTest, IsListedAndPresentInAnyLetterCase) {
    EXPECT_TRUE(IsPortPresent(name));
    EXPECT_TRUE(IsPortPresent(ToLowerAscii(name)));
    bool listed = false;
    for (const auto& info : EnumeratePorts())
        if (EqualsIgnoreCase(info.portName, name))
            listed = !info.displayText.empty();
    EXPECT_TRUE(listed);
}

// Last: the bridge goes away for good after this.
TEST_F(ComPortTest, ZzDetectsTheDeviceGoingAway) {
    ASSERT_TRUE(port->IsAlive());
    const std::string marker = kUnplugMarker;
    ASSERT_TRUE(port->WriteAll(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()));
    const auto start = Clock::now();
    bool alive = true;
    while (alive && MsSince(start) < 5000) {
        uint8_t buffer[256];
        size_t n = 0;
        port->Read(buffer, sizeof buffer, &n);
        alive = port->IsAlive();
    }
    EXPECT_FALSE(alive);
    port->Close();
    EXPECT_FALSE(port->IsAlive());
}

TEST(ComPortOpen, FailsWithTheSystemErrorForAMissingPort) {
    auto port = CreateSystemSerialPort();
    uint32_t error = 0;
    EXPECT_FALSE(port->Open(L"COM239", &error));
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->Open(L"", &error));
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    uint8_t byte = 0;
    size_t n = 0;
    EXPECT_FALSE(port->Read(&byte, 1, &n));
    EXPECT_FALSE(port->WriteAll(&byte, 1));
    EXPECT_FALSE(port->IsAlive());
}

}  // namespace
}  // namespace zovrel
