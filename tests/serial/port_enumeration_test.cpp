#include "serial/port_enumeration.h"

#include <gtest/gtest.h>

namespace zovrel {
namespace {

TEST(MakeDisplayText, AddsThePortOnlyWhenTheDescriptionDoesNotNameIt) {
    EXPECT_EQ(MakeDisplayText(L"COM7", L"USB 串行设备"), L"USB 串行设备 (COM7)");
    EXPECT_EQ(MakeDisplayText(L"com4", L"Prolific (COM4)"), L"Prolific (COM4)");
    EXPECT_EQ(MakeDisplayText(L"COM4", L""), L"COM4");
}

// The key is the number left after removing "COM", read with a sign and saturating.
TEST(SortPorts, OrdersByTheNumberInTheNameNotByTheText) {
    std::vector<PortInfo> ports;
    for (const wchar_t* name :
         {L"COM99999999999999999999", L"COM10", L"COMCOM7", L"COM+8", L"com12", L"COM-2", L"COM5A",
          L"CNCA0", L"COM-99999999999999999999"})
        ports.push_back({name, name, L""});
    SortPorts(ports);
    std::wstring order;
    for (const auto& port : ports)
        order += port.portName + L" ";
    EXPECT_EQ(order,
              L"COM-99999999999999999999 COM-2 CNCA0 COM5A COMCOM7 COM+8 COM10 com12 "
              L"COM99999999999999999999 ");
}

}  // namespace
}  // namespace zovrel
