// The fake stands in for the port in the session's tests; these check it behaves like the real
// ports where the session depends on it.
#include "support/fake_serial_port.h"

#include <thread>

#include <gtest/gtest.h>

namespace zovrel::test {
namespace {

TEST(FakeSerialPort, BehavesLikeAPortThroughAnUnplugAndReplug) {
    FakeSerialPort port(L"COM5", 2000);
    uint32_t error = 0;
    EXPECT_FALSE(port.Open(L"COM6", &error));
    EXPECT_EQ(error, 2u);
    port.DeviceSend({0xAA});  // arrives before the open: discarded by it
    ASSERT_TRUE(port.Open(L" com5 ", &error));
    EXPECT_TRUE(port.IsPortPresent(L"COM5"));

    // A read blocked for lack of data returns as soon as the device sends (all in one go).
    std::thread device([&] { port.DeviceSend({1, 2, 3}); });
    uint8_t buffer[8];
    size_t n = 0;
    ASSERT_TRUE(port.Read(buffer, sizeof buffer, &n));
    device.join();
    EXPECT_EQ(Bytes(buffer, buffer + n), (Bytes{1, 2, 3}));

    const uint8_t frame[] = {0x57, 0xAB};
    EXPECT_TRUE(port.WriteAll(frame, sizeof frame));
    EXPECT_TRUE(port.WaitForWritten(2, std::chrono::milliseconds(0)));
    EXPECT_EQ(port.TakeWritten(), (Bytes{0x57, 0xAB}));

    port.Unplug();
    EXPECT_FALSE(port.IsAlive());
    EXPECT_FALSE(port.IsPortPresent(L"COM5"));
    EXPECT_FALSE(port.Read(buffer, sizeof buffer, &n));
    EXPECT_FALSE(port.WriteAll(frame, sizeof frame));
    port.Close();
    EXPECT_FALSE(port.Open(L"COM5", &error));

    port.Plug();
    EXPECT_TRUE(port.Open(L"COM5", &error));
    EXPECT_TRUE(port.IsAlive());
    EXPECT_EQ(port.opens(), 2);
    EXPECT_EQ(port.openAttempts(), 4);
}

}  // namespace
}  // namespace zovrel::test
