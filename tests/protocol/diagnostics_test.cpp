#include <gtest/gtest.h>

#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/hex.h"

namespace zovrel {
namespace {

TEST(FrameTypeName, KnownAndUnknownCodes) {
    EXPECT_EQ(FrameTypeName(GENERAL_REPLY), L"GENERAL_REPLY");
    EXPECT_EQ(FrameTypeName(START_REQUEST), L"START_REQUEST");
    EXPECT_EQ(FrameTypeName(DEVICE_QUERY), L"DEVICE_QUERY");
    EXPECT_EQ(FrameTypeName(FIRST_PACKET), L"FIRST_PACKET");
    EXPECT_EQ(FrameTypeName(MIDDLE_PACKET), L"MIDDLE_PACKET");
    EXPECT_EQ(FrameTypeName(FINISH_PACKET), L"FINISH_PACKET");
    EXPECT_EQ(FrameTypeName(PERIPHERAL_ECHO), L"PERIPHERAL_ECHO");
    EXPECT_EQ(FrameTypeName(DEVICE_QUERY_RSP), L"DEVICE_QUERY_RSP");
    EXPECT_EQ(FrameTypeName(6), L"UNKNOWN(0x0006)");
    EXPECT_EQ(FrameTypeName(0xFFFF), L"UNKNOWN(0xFFFF)");
    EXPECT_EQ(FrameTypeName(0xab), L"UNKNOWN(0x00AB)");
}

TEST(FrameSummary, ValidInvalidAndTrailingBytes) {
    const Bytes query = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1);
    EXPECT_EQ(FrameSummary(query), L"ch=0x06 DEVICE_QUERY payload=0 wire=21 B sn=1");
    EXPECT_EQ(FrameSummary(Bytes(10, 0x57)), L"raw 10 B (invalid frame)");
    EXPECT_EQ(FrameSummary(nullptr, 0), L"raw 0 B (invalid frame)");

    Bytes longer = BuildFrame(0xA0, 0x1234, 4000000000u, Bytes(3, 1));
    longer.insert(longer.end(), 5, 0xEE);
    EXPECT_EQ(FrameSummary(longer), L"ch=0xA0 UNKNOWN(0x1234) payload=3 wire=29 B sn=4000000000");
}

TEST(HexBytes, UppercasePairsWithoutTrailingBlank) {
    EXPECT_EQ(HexBytes(HexToBytes("0A FF")), L"0A FF");
    EXPECT_EQ(HexBytes(Bytes{}), L"<empty>");
    EXPECT_EQ(HexBytes(nullptr, 3), L"<empty>");
    EXPECT_EQ(HexBytes(Bytes{0x00}), L"00");
    EXPECT_EQ(HexBytes(Bytes(1000, 0xC3)).size(), 2999u);  // no length limit
}

TEST(DescribeTlvValue, TextUpToFirstZeroThenHex) {
    EchoTlv tlv;
    tlv.type = 0x14;
    tlv.value = HexToBytes("4F 4B 00");
    tlv.length = 3;
    EXPECT_EQ(DescribeTlvValue(tlv), L"\"OK\" hex=[4F 4B 00]");

    tlv.value = HexToBytes("00 01");
    EXPECT_EQ(DescribeTlvValue(tlv), L"hex=[00 01] (2 B)");

    tlv.value = {};
    EXPECT_EQ(DescribeTlvValue(tlv), L"<empty>");

    tlv.value = HexToBytes("70 69 6E 67");
    EXPECT_EQ(DescribeTlvValue(tlv), L"\"ping\" hex=[70 69 6E 67]");
}

}  // namespace
}  // namespace zovrel
