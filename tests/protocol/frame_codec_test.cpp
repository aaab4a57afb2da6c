#include <gtest/gtest.h>

#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/test_bytes.h"

namespace zovrel {
namespace {

uint32_t ScalarChecksum(const uint8_t* p, size_t n, uint64_t start = 0) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i] + (p[i] & 7u) * static_cast<uint32_t>((start + i) & 31);
    return sum;
}

TEST(ProtocolChecksum, KnownValuesAndBlockedOrPiecewiseSumsEqualTheScalarOne) {
    EXPECT_EQ(ProtocolChecksum(HexToBytes("61 62 63")), 0x12Eu);
    EXPECT_EQ(ProtocolChecksum(nullptr, 0), 0u);
    Bytes weights(33, 0);
    weights[31] = 0xFF;  // weighs 255 + 7 * 31
    weights[32] = 0x07;  // the weight restarts every 32 positions
    EXPECT_EQ(ProtocolChecksum(weights), 255u + 7u * 31u + 7u);

    std::mt19937 rng(7);
    const Bytes data = RandomBytes(rng, 20000);
    for (size_t n : {1, 31, 33, 64, 65, 1000, 8191, 8193, 19969})
        for (size_t at : {0, 1, 17, 31})
            EXPECT_EQ(ProtocolChecksum(data.data() + at, n), ScalarChecksum(data.data() + at, n))
                << n << " at " << at;
    // All 0xFF fills narrow per-lane counters and, past 16 MiB, wraps the 32-bit sum.
    for (size_t n : {size_t{32 * 1000 + 3}, (size_t{1} << 24) + 4097}) {
        const Bytes ones(n, 0xFF);
        EXPECT_EQ(ProtocolChecksum(ones), ScalarChecksum(ones.data(), n)) << n;
    }
    // Pieces keep counting positions, as a file read in odd-sized reads.
    uint32_t sum = 0;
    for (size_t pos = 0, piece; pos < data.size(); pos += piece) {
        piece = std::min<size_t>(1 + rng() % 997, data.size() - pos);
        sum = ProtocolChecksumContinue(sum, data.data() + pos, piece, pos);
    }
    EXPECT_EQ(sum, ProtocolChecksum(data));
    const uint64_t far = (uint64_t{1} << 32) + 5;  // beyond 4 GiB the weight is still pos & 31
    EXPECT_EQ(ProtocolChecksumContinue(0, data.data(), 100, far),
              ScalarChecksum(data.data(), 100, far));
}

TEST(BuildFrame, KnownFramesAndTheWireSizeLimit) {
    EXPECT_EQ(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1),
              HexToBytes("57 AB 06 01 00 00 00 06 00 00 00 02 00 00 00 00 00 63 01 00 00"));
    EXPECT_EQ(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0, nullptr, 0),
              HexToBytes("57 AB 06 00 00 00 00 06 00 00 00 01 00 00 00 00 00 53 01 00 00"));
    size_t total = 0;
    EXPECT_TRUE(FrameWireSize(MAX_FRAME_PAYLOAD, total));
    EXPECT_EQ(total, 65557u);
    EXPECT_FALSE(FrameWireSize(MAX_FRAME_PAYLOAD + 1, total));
    EXPECT_FALSE(FrameWireSize(uint64_t{1} << 40, total));
}

TEST(ParseFrame, RoundTripsRandomFrames) {
    std::mt19937 rng(3);
    for (int k = 0; k < 100; ++k) {
        const size_t n = k == 0 ? 0 : (k == 1 ? MAX_FRAME_PAYLOAD : rng() % 3000);
        const Bytes wire = BuildFrame(rng(), rng(), rng(), RandomBytes(rng, n));
        Frame f;
        ASSERT_TRUE(ParseFrame(wire, f));
        EXPECT_EQ(f.header.length, n + 6);
        EXPECT_EQ(BuildFrame(f.header.channel, f.header.type, f.header.sn, f.payload), wire);
    }
}

TEST(ParseFrame, RejectsShortOversizedAndEveryChangedByte) {
    const Bytes good = BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 9, Bytes(10, 0x41));
    Frame f;
    FrameHeader h;
    EXPECT_FALSE(ParseFrameHeader(good.data(), 16, h));  // the magic alone is not a header
    EXPECT_TRUE(ParseFrameHeader(good.data(), 17, h));
    EXPECT_FALSE(ParseFrame(nullptr, 0, f));
    EXPECT_FALSE(ParseFrame(good.data(), good.size() - 1, f));
    // A change of 0x10 keeps (b & 7), so it moves the weighted sum by 16 wherever it is.
    for (size_t at = 0; at < good.size(); ++at) {
        Bytes bad = good;
        bad[at] ^= 0x10;
        EXPECT_FALSE(ParseFrame(bad, f)) << at;
        EXPECT_TRUE(at >= 2 || !ParseFrameHeader(bad.data(), bad.size(), h)) << at;
    }
    // 65537 declared, with that many bytes and a correct checksum behind it.
    EXPECT_TRUE(ParseFrame(BuildFrame(6, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD, 1)), f));
    EXPECT_FALSE(ParseFrame(BuildFrame(6, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD + 1, 1)), f));
}

TEST(ParseFrame, AcceptsTrailingBytesAnOddLengthFieldAndTheChecksumBlindSpot) {
    Bytes wire = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 4, HexToBytes("01 02 03"));
    wire.insert(wire.end(), {0x57, 0xAB, 0x00});
    Frame f;
    ASSERT_TRUE(ParseFrame(wire, f));
    EXPECT_EQ(f.payload, HexToBytes("01 02 03"));

    Bytes odd = BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0, HexToBytes("AA"));
    WriteLE32(odd, 7, 1234);
    WriteLE32(odd, 18, ProtocolChecksum(odd.data(), 18));
    ASSERT_TRUE(ParseFrame(odd, f));
    EXPECT_EQ(f.header.length, 1234u);
    EXPECT_EQ(f.payload.size(), 1u);

    // At offset 39 (39 & 31 == 7) 0x08 and 0x01 weigh the same: 8 + 0 * 7 == 1 + 1 * 7.
    Bytes blind = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 1, Bytes(30, 0x08));
    blind[39] = 0x01;
    EXPECT_TRUE(ParseFrame(blind, f));
}

TEST(LittleEndian, WritesOnlyInsideTheVector) {
    Bytes b(6, 0);
    WriteLE32(b, 1, 0x11223344);
    WriteLE16(b, 4, 0xAABB);
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
    WriteLE32(b, 3, 0xFFFFFFFF);  // would end past the last byte
    WriteLE16(b, 5, 0xFFFF);
    WriteLE16(b, SIZE_MAX, 0xFFFF);
    WriteLE32(b, SIZE_MAX - 1, 0xFFFFFFFF);
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
}

TEST(Diagnostics, NamesSummariesAndHexText) {
    EXPECT_EQ(FrameTypeName(PERIPHERAL_ECHO), L"PERIPHERAL_ECHO");
    EXPECT_EQ(FrameTypeName(DEVICE_QUERY_RSP), L"DEVICE_QUERY_RSP");
    EXPECT_EQ(FrameTypeName(6), L"UNKNOWN(0x0006)");
    EXPECT_EQ(FrameTypeName(0xab), L"UNKNOWN(0x00AB)");

    EXPECT_EQ(FrameSummary(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1)),
              L"ch=0x06 DEVICE_QUERY payload=0 wire=21 B sn=1");
    EXPECT_EQ(FrameSummary(Bytes(10, 0x57)), L"raw 10 B (invalid frame)");
    Bytes longer = BuildFrame(0xA0, 0x1234, 4000000000u, Bytes(3, 1));
    longer.insert(longer.end(), 5, 0xEE);
    EXPECT_EQ(FrameSummary(longer), L"ch=0xA0 UNKNOWN(0x1234) payload=3 wire=29 B sn=4000000000");

    EXPECT_EQ(HexBytes(HexToBytes("0A FF")), L"0A FF");
    EXPECT_EQ(HexBytes(nullptr, 3), L"<empty>");
    EXPECT_EQ(HexBytes(Bytes(1000, 0xC3)).size(), 2999u);  // no length limit

    EchoTlv tlv{0x14, 3, HexToBytes("4F 4B 00")};
    EXPECT_EQ(DescribeTlvValue(tlv), L"\"OK\" hex=[4F 4B 00]");
    tlv.value = HexToBytes("00 01");
    EXPECT_EQ(DescribeTlvValue(tlv), L"hex=[00 01] (2 B)");
    tlv.value = {};
    EXPECT_EQ(DescribeTlvValue(tlv), L"<empty>");
}

}  // namespace
}  // namespace zovrel
