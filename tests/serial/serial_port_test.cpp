// The system's port back end; pty_com_bridge.py plays the device at the end of a pty or COM name.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "serial/port_enumeration.h"
#include "serial/serial_port.h"

#ifdef _WIN32
#include <windows.h>
#else
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
Bytes ReadFromPort(SerialPort& port, size_t count, int ms = 5000,
                   uint32_t waitMs = SERIAL_READ_WAIT_MS) {
    Bytes got;
    uint8_t buffer[8192];
    size_t n = 0;
    const auto start = Clock::now();
    while (got.size() < count && MsSince(start) < ms &&
           port.Read(buffer, sizeof buffer, &n, waitMs))
        got.insert(got.end(), buffer, buffer + n);
    return got;
}

// One session with the device, which goes away for good at its end.
TEST(SerialPort, Raw8N1At2000000ReadsPromptlyAndNoticesTheUnplug) {
    const char* env = std::getenv("ZOVREL_TEST_PORT");
    if (env == nullptr)
        GTEST_SKIP() << "run through pty_com_bridge.py";
    const std::wstring name = FromUtf8(env);
    auto port = CreateSystemSerialPort();
    uint32_t error = 0;
    ASSERT_TRUE(port->Open(name, &error)) << "error " << error;
    const auto ask = [&](const std::string& marker) {  // answered instead of echoed
        EXPECT_TRUE(port->WriteAll(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()));
        const Bytes answer = ReadFromPort(*port, 8);
        return std::string(answer.begin(), answer.end());
    };
    // (That every byte value passes both ways is seen by the whole-program runs' transfers.)
    EXPECT_EQ(ask("<<zovrel-test-line?>>"), "LINE-OK\n");

    auto start = Clock::now();
    for (uint8_t byte = 0x40; byte < 0x54; ++byte) {  // 20 reads waiting their whole 200 ms: 4 s
        ASSERT_TRUE(port->WriteAll(&byte, 1));
        EXPECT_EQ(ReadFromPort(*port, 1, 5000, SERIAL_IDLE_READ_WAIT_MS), Bytes{byte});
    }
    EXPECT_LT(MsSince(start), 950);
    uint8_t buffer[64];
    size_t n = 99;
    start = Clock::now();  // a read with nothing to read waits about as long as asked
    EXPECT_TRUE(port->Read(buffer, sizeof buffer, &n, SERIAL_IDLE_READ_WAIT_MS) && n == 0);
    EXPECT_TRUE(MsSince(start) >= SERIAL_IDLE_READ_WAIT_MS * 3 / 4 && MsSince(start) < 3000)
        << MsSince(start);

    // Windows serialises every call on a port opened without overlapped I/O, so there this write
    // would wait out the read pending on the other thread. Wine serialises neither way: this
    // guards the overlapped code against regressions, the real proof needs real Windows.
    Bytes answer;
    std::thread pending([&] { answer = ReadFromPort(*port, 1, 1000, SERIAL_IDLE_READ_WAIT_MS); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the read is pending by now
    const uint8_t byte = 0x5A;
    start = Clock::now();
    EXPECT_TRUE(port->WriteAll(&byte, 1));
    EXPECT_LT(MsSince(start), 100);
    pending.join();
    EXPECT_EQ(answer, Bytes{byte});

#ifdef _WIN32
    {  // closing ends a pending read and a stalled write at once; the reopens show it let go
        const std::string hold = "<<zovrel-test-hold>>";
        ASSERT_TRUE(port->WriteAll(reinterpret_cast<const uint8_t*>(hold.data()), hold.size()));
        const Bytes big(4 * 1024 * 1024, 0x33);  // more than every buffer on the way holds
        std::atomic<bool> wrote = true, read = true;
        std::thread writer([&] { wrote = port->WriteAll(big.data(), big.size()); });
        std::thread waiter([&] { read = port->Read(buffer, sizeof buffer, &n, 5000); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        start = Clock::now();
        port->Close();
        writer.join();
        waiter.join();
        EXPECT_LT(MsSince(start), 100);
        EXPECT_FALSE(wrote || read);
        std::this_thread::sleep_for(std::chrono::milliseconds(1600));  // the device reads again
        ASSERT_TRUE(port->Open(name, &error)) << error;
    }
#else
    EXPECT_FALSE(CreateSystemSerialPort()->Open(name, &error));  // one owner at a time
    EXPECT_EQ(error, uint32_t(EBUSY));
#endif
    port->Close();  // which lets go of it
    ASSERT_TRUE(port->Open(name, &error)) << error;
    EXPECT_TRUE(IsPortPresent(L" " + ToLowerAscii(name) + L" "));
    EXPECT_TRUE(port->IsAlive());
    EXPECT_EQ(ask("<<zovrel-test-unplug>>"), "");
    EXPECT_FALSE(port->IsAlive());
}

// A missing port fails to open in the whole-program runs (the CLI's refused sends).
TEST(SerialPortOpen, FailsOnWhatIsNoSerialPort) {
    EXPECT_FALSE(CreateSystemPortPresence()->IsPortPresent(L"COM250-does-not-exist"));
#ifndef _WIN32
    uint32_t error = 0;
    EXPECT_FALSE(CreateSystemSerialPort()->Open(L"/dev/null", &error));  // exists, but is no tty
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(IsPortPresent(L"/tmp"));
#endif
}

#ifndef _WIN32
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

#ifdef _WIN32
// The reader's answer comes from a kept copy of the device table: a port listed or unlisted
// after the first question must still be seen (the test writes the table, as Wine allows).
TEST(SerialPortPresence, FollowsTheDeviceTableAfterTheFirstAnswer) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t value[] = L"\\Device\\ZovrelPresenceTest";
    const wchar_t port[] = L"COM251";
    auto presence = CreateSystemPortPresence();
    const auto seen = [&](bool listed) {
        const auto start = Clock::now();  // Windows may signal a change a moment after it
        while (presence->IsPortPresent(L"com251") != listed && MsSince(start) < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return presence->IsPortPresent(L"com251") == listed;
    };
    EXPECT_TRUE(seen(false));
    ::RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port);
    EXPECT_TRUE(seen(true));
    ::RegDeleteValueW(key, value);
    EXPECT_TRUE(seen(false));
    ::RegCloseKey(key);
}
#endif

}  // namespace
}  // namespace zovrel
