#include "serial/port_enumeration.h"

#include <climits>

#include <gtest/gtest.h>

namespace zovrel {
namespace {

std::vector<std::wstring> Names(const std::vector<PortInfo>& ports) {
    std::vector<std::wstring> names;
    for (const auto& p : ports)
        names.push_back(p.portName);
    return names;
}

std::vector<PortInfo> Ports(std::initializer_list<const wchar_t*> names) {
    std::vector<PortInfo> ports;
    for (const wchar_t* n : names)
        ports.push_back({n, n});
    return ports;
}

TEST(MakeDisplayText, AddsThePortOnlyWhenTheDescriptionDoesNotNameIt) {
    EXPECT_EQ(MakeDisplayText(L"COM4", L"USB Serial Device"), L"USB Serial Device (COM4)");
    EXPECT_EQ(MakeDisplayText(L"COM4", L"USB Serial Device (COM4)"), L"USB Serial Device (COM4)");
    EXPECT_EQ(MakeDisplayText(L"COM4", L""), L"COM4");
    // Letter case does not matter when looking for the name in the description.
    EXPECT_EQ(MakeDisplayText(L"com4", L"Prolific USB-to-Serial (COM4)"),
              L"Prolific USB-to-Serial (COM4)");
    EXPECT_EQ(MakeDisplayText(L"COM7", L"USB 串行设备"), L"USB 串行设备 (COM7)");
}

TEST(PortSortKey, ReadsTheNumberLeftAfterRemovingCom) {
    EXPECT_EQ(PortSortKey(L"COM3"), 3);
    EXPECT_EQ(PortSortKey(L"COM10"), 10);
    EXPECT_EQ(PortSortKey(L"com12"), 12);
    EXPECT_EQ(PortSortKey(L"CNCA0"), 0);
    EXPECT_EQ(PortSortKey(L""), 0);
    EXPECT_EQ(PortSortKey(L"COM"), 0);
    EXPECT_EQ(PortSortKey(L"COM5A"), 5);
    EXPECT_EQ(PortSortKey(L"COM 8"), 8);
    EXPECT_EQ(PortSortKey(L"COM-2"), -2);
    EXPECT_EQ(PortSortKey(L"COMCOM7"), 7);
    EXPECT_EQ(PortSortKey(L"/dev/ttyUSB0"), 0);
}

TEST(PortSortKey, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(PortSortKey(L"COM99999999999999999999"), INT_MAX);
    EXPECT_EQ(PortSortKey(L"COM-99999999999999999999"), INT_MIN);
    EXPECT_EQ(PortSortKey(L"COM2147483647"), INT_MAX);
    EXPECT_EQ(PortSortKey(L"COM-2147483648"), INT_MIN);
}

TEST(SortPorts, OrdersByNumberNotByText) {
    auto ports = Ports({L"COM10", L"COM3", L"COM1"});
    SortPorts(ports);
    EXPECT_EQ(Names(ports), (std::vector<std::wstring>{L"COM1", L"COM3", L"COM10"}));

    ports = Ports({L"COM9", L"CNCB0", L"COM10", L"CNCA0", L"COM2"});
    SortPorts(ports);
    // Names without a number (key 0) come first, in the order the exchange leaves them.
    EXPECT_EQ(Names(ports),
              (std::vector<std::wstring>{L"CNCB0", L"CNCA0", L"COM2", L"COM9", L"COM10"}));
}

TEST(SortPorts, EqualKeysEndWhereTheExchangeLeavesThem) {
    // A stable sort would give COM1, COM2, COM02; the exchange swaps COM1 with COM2.
    auto ports = Ports({L"COM2", L"COM02", L"COM1"});
    SortPorts(ports);
    EXPECT_EQ(Names(ports), (std::vector<std::wstring>{L"COM1", L"COM02", L"COM2"}));

    std::vector<PortInfo> empty;
    SortPorts(empty);
    EXPECT_TRUE(empty.empty());
}

TEST(PortPresence, AnEmptyOrUnknownNameIsNeverPresent) {
    EXPECT_FALSE(IsPortPresent(L""));
    EXPECT_FALSE(IsPortPresent(L"   "));
    EXPECT_FALSE(SystemPortPresence().IsPortPresent(L"COM250-does-not-exist"));
    for (const auto& port : EnumeratePorts()) {
        EXPECT_FALSE(port.portName.empty());
        EXPECT_FALSE(port.displayText.empty());
        EXPECT_TRUE(IsPortPresent(port.portName)) << port.displayText;
    }
}

}  // namespace
}  // namespace zovrel
