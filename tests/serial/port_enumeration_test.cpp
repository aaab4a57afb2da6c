#include "serial/port_enumeration.h"

#include <climits>

#include <gtest/gtest.h>

namespace zovrel {
namespace {

TEST(MakeDisplayText, AddsThePortOnlyWhenTheDescriptionDoesNotNameIt) {
    EXPECT_EQ(MakeDisplayText(L"COM7", L"USB 串行设备"), L"USB 串行设备 (COM7)");
    EXPECT_EQ(MakeDisplayText(L"com4", L"Prolific (COM4)"), L"Prolific (COM4)");
    EXPECT_EQ(MakeDisplayText(L"COM4", L""), L"COM4");
}

TEST(PortSortKey, ReadsTheNumberLeftAfterRemovingComAndSaturates) {
    const std::pair<const wchar_t*, int> cases[] = {{L"com12", 12},
                                                    {L"CNCA0", 0},
                                                    {L"COM", 0},
                                                    {L"COM5A", 5},
                                                    {L"COM 8", 8},
                                                    {L"COM-2", -2},
                                                    {L"COMCOM7", 7},
                                                    {L"/dev/ttyUSB0", 0},
                                                    {L"COM99999999999999999999", INT_MAX},
                                                    {L"COM-99999999999999999999", INT_MIN},
                                                    {L"COM-2147483648", INT_MIN}};
    for (const auto& [name, key] : cases)
        EXPECT_EQ(PortSortKey(name), key) << name;
}

std::wstring Sorted(std::initializer_list<const wchar_t*> names) {
    std::vector<PortInfo> ports;
    for (const wchar_t* name : names)
        ports.push_back({name, name});
    SortPorts(ports);
    std::wstring out;
    for (const auto& port : ports)
        out += port.portName + L" ";
    return out;
}

TEST(SortPorts, OrdersByNumberAndLeavesEqualKeysWhereTheExchangeDoes) {
    EXPECT_EQ(Sorted({L"COM9", L"CNCB0", L"COM10", L"CNCA0", L"COM2"}),
              L"CNCB0 CNCA0 COM2 COM9 COM10 ");
    EXPECT_EQ(Sorted({L"COM2", L"COM02", L"COM1"}), L"COM1 COM02 COM2 ");  // a stable sort differs
    EXPECT_EQ(Sorted({}), L"");
}

TEST(PortPresence, OnlyListedPortsArePresent) {
    EXPECT_FALSE(IsPortPresent(L"   "));
    EXPECT_FALSE(SystemPortPresence().IsPortPresent(L"COM250-does-not-exist"));
    for (const auto& port : EnumeratePorts())
        EXPECT_TRUE(IsPortPresent(port.portName) && !port.displayText.empty()) << port.portName;
}

}  // namespace
}  // namespace zovrel
