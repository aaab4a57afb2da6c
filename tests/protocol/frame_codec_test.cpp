#include <gtest/gtest.h>

#include <random>

#include "protocol/frame_codec.h"
#include "protocol/hex.h"

namespace zovrel {
namespace {

uint32_t ReferenceChecksum(const uint8_t* p, size_t n, uint64_t start = 0) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i] + (p[i] & 7u) * static_cast<uint32_t>((start + i) & 31);
    return sum;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

TEST(ProtocolChecksum, KnownValues) {
    EXPECT_EQ(ProtocolChecksum(HexToBytes("61 62 63")), 0x12Eu);
    EXPECT_EQ(ProtocolChecksum(nullptr, 0), 0u);
    EXPECT_EQ(ProtocolChecksum(Bytes{}), 0u);
    // 0xFF at position 31 weighs 255 + 7 * 31.
    Bytes b(32, 0);
    b[31] = 0xFF;
    EXPECT_EQ(ProtocolChecksum(b), 255u + 7u * 31u);
    // The weight restarts every 32 positions.
    Bytes c(33, 0);
    c[32] = 0x07;
    EXPECT_EQ(ProtocolChecksum(c), 7u);
}

TEST(ProtocolChecksum, BlockedSumEqualsScalarSumForEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    const Bytes data = RandomBytes(rng, 20000);
    for (size_t n : {1, 2, 31, 32, 33, 63, 64, 65, 255, 1000, 8191, 8192, 8193, 20000}) {
        for (size_t offset : {0, 1, 5, 17, 31}) {
            if (offset + n > data.size())
                continue;
            EXPECT_EQ(ProtocolChecksum(data.data() + offset, n),
                      ReferenceChecksum(data.data() + offset, n))
                << n << " at " << offset;
        }
    }
    // All 0xFF over more than 256 blocks drives the narrow per-lane counters to their limit.
    const Bytes ones(32 * 1000 + 3, 0xFF);
    EXPECT_EQ(ProtocolChecksum(ones), ReferenceChecksum(ones.data(), ones.size()));
}

TEST(ProtocolChecksum, WrapsModulo2To32) {
    // 16.9 million 0xFF bytes sum beyond 2^32.
    const Bytes big((size_t{1} << 24) + 4097, 0xFF);
    EXPECT_EQ(ProtocolChecksum(big), ReferenceChecksum(big.data(), big.size()));
}

TEST(ProtocolChecksum, PiecesKeepCountingPositions) {
    std::mt19937 rng(11);
    const Bytes data = RandomBytes(rng, 5000);
    const uint32_t whole = ProtocolChecksum(data);
    for (size_t cut : {0, 1, 7, 32, 100, 4999, 5000}) {
        uint32_t sum = ProtocolChecksum(data.data(), cut);
        sum = ProtocolChecksumContinue(sum, data.data() + cut, data.size() - cut, cut);
        EXPECT_EQ(sum, whole) << cut;
    }
    // Many uneven pieces, as a file read in odd-sized reads.
    uint32_t sum = 0;
    uint64_t pos = 0;
    while (pos < data.size()) {
        const size_t piece = std::min<size_t>(1 + rng() % 97, data.size() - pos);
        sum = ProtocolChecksumContinue(sum, data.data() + pos, piece, pos);
        pos += piece;
    }
    EXPECT_EQ(sum, whole);
    // Positions beyond 4 GiB still use (pos & 31).
    const uint64_t far = (uint64_t{1} << 32) + 5;
    EXPECT_EQ(ProtocolChecksumContinue(0, data.data(), 100, far),
              ReferenceChecksum(data.data(), 100, far));
}

TEST(BuildFrame, MatchesKnownFrames) {
    EXPECT_EQ(BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1),
              HexToBytes("57 AB 06 01 00 00 00 06 00 00 00 02 00 00 00 00 00 63 01 00 00"));
    EXPECT_EQ(BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0, nullptr, 0),
              HexToBytes("57 AB 06 00 00 00 00 06 00 00 00 01 00 00 00 00 00 53 01 00 00"));
}

TEST(FrameWireSize, LimitsPayloadTo64KiB) {
    size_t total = 0;
    EXPECT_TRUE(FrameWireSize(0, total));
    EXPECT_EQ(total, FRAME_OVERHEAD);
    EXPECT_TRUE(FrameWireSize(MAX_FRAME_PAYLOAD, total));
    EXPECT_EQ(total, MAX_FRAME_SIZE);
    EXPECT_EQ(MAX_FRAME_SIZE, 65557u);
    EXPECT_FALSE(FrameWireSize(MAX_FRAME_PAYLOAD + 1, total));
    EXPECT_FALSE(FrameWireSize(uint64_t{1} << 40, total));
}

TEST(ParseFrame, RoundTripsRandomFrames) {
    std::mt19937 rng(3);
    for (int k = 0; k < 200; ++k) {
        const size_t n = (k == 0) ? 0 : (k == 1 ? MAX_FRAME_PAYLOAD : rng() % 3000);
        const Bytes payload = RandomBytes(rng, n);
        const auto channel = static_cast<uint8_t>(rng());
        const auto type = static_cast<uint16_t>(rng());
        const uint32_t sn = rng();
        const Bytes wire = BuildFrame(channel, type, sn, payload);
        ASSERT_EQ(wire.size(), n + FRAME_OVERHEAD);
        Frame f;
        ASSERT_TRUE(ParseFrame(wire, f));
        EXPECT_EQ(f.header.channel, channel);
        EXPECT_EQ(f.header.type, type);
        EXPECT_EQ(f.header.sn, sn);
        EXPECT_EQ(f.header.length, n + 6);
        EXPECT_EQ(f.header.payloadLength, n);
        EXPECT_EQ(f.payload, payload);
    }
}

TEST(ParseFrame, RejectsShortWrongMagicOversizedAndTruncated) {
    const Bytes good = BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 9, Bytes(10, 0x41));
    Frame f;
    FrameHeader h;
    // A 16-byte buffer with the right magic is not a header yet.
    EXPECT_FALSE(ParseFrameHeader(good.data(), 16, h));
    EXPECT_TRUE(ParseFrameHeader(good.data(), 17, h));
    EXPECT_FALSE(ParseFrame(nullptr, 0, f));
    EXPECT_FALSE(ParseFrame(good.data(), good.size() - 1, f));
    for (size_t at : {0, 1}) {
        Bytes bad = good;
        bad[at] ^= 0x01;
        EXPECT_FALSE(ParseFrameHeader(bad.data(), bad.size(), h));
        EXPECT_FALSE(ParseFrame(bad, f));
    }
    // The checksum trailer: any change fails.
    for (size_t at = good.size() - 4; at < good.size(); ++at) {
        Bytes bad = good;
        bad[at] ^= 0x80;
        EXPECT_FALSE(ParseFrame(bad, f)) << at;
    }
    // Flipping one bit of any other byte changes the weighted sum.
    for (size_t at = 2; at < good.size() - 4; ++at) {
        Bytes bad = good;
        bad[at] ^= 0x10;
        EXPECT_FALSE(ParseFrame(bad, f)) << at;
    }
}

TEST(ParseFrame, LargestPayloadAcceptedOneMoreRejected) {
    const Bytes largest =
        BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD, 0x5A));
    Frame f;
    EXPECT_TRUE(ParseFrame(largest, f));
    EXPECT_EQ(f.payload.size(), MAX_FRAME_PAYLOAD);

    // 65537 declared, with that many bytes and a correct checksum behind it.
    const Bytes over =
        BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD + 1, 0x5A));
    EXPECT_EQ(ReadLE32(over, 13), MAX_FRAME_PAYLOAD + 1);
    EXPECT_FALSE(ParseFrame(over, f));
}

TEST(ParseFrame, IgnoresTrailingBytesAndTheLengthField) {
    Bytes wire = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 4, HexToBytes("01 02 03"));
    wire.insert(wire.end(), {0x57, 0xAB, 0x00});
    Frame f;
    ASSERT_TRUE(ParseFrame(wire, f));
    EXPECT_EQ(f.payload, HexToBytes("01 02 03"));

    // A disagreeing length field still parses once the checksum is made to match.
    Bytes odd = BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0, HexToBytes("AA"));
    WriteLE32(odd, 7, 1234);
    WriteLE32(odd, 18, ProtocolChecksum(odd.data(), 18));
    ASSERT_TRUE(ParseFrame(odd, f));
    EXPECT_EQ(f.header.length, 1234u);
    EXPECT_EQ(f.header.payloadLength, 1u);
}

TEST(ParseFrame, ChecksumBlindSpotIsAccepted) {
    // At a position with (i & 31) == 7, 0x08 and 0x01 weigh the same (8 + 0 = 1 + 7).
    Bytes payload(30, 0);
    payload[39 - FRAME_HEADER_SIZE] = 0x08;  // frame offset 39, 39 & 31 == 7
    Bytes wire = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 1, payload);
    ASSERT_EQ(wire[39], 0x08);
    wire[39] = 0x01;
    Frame f;
    EXPECT_TRUE(ParseFrame(wire, f));
}

TEST(LittleEndian, WritesOnlyInsideTheVector) {
    Bytes b(6, 0);
    WriteLE32(b, 1, 0x11223344);
    WriteLE16(b, 4, 0xAABB);  // overwrites the top byte of the u32
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
    EXPECT_EQ(ReadLE32(b, 1), 0xBB223344u);
    EXPECT_EQ(ReadLE16(b, 4), 0xAABBu);
    WriteLE32(b, 3, 0xFFFFFFFF);  // would end past the last byte
    WriteLE16(b, 5, 0xFFFF);
    WriteLE16(b, SIZE_MAX, 0xFFFF);
    WriteLE32(b, SIZE_MAX - 1, 0xFFFFFFFF);
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
    Bytes empty;
    WriteLE16(empty, 0, 1);
    EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace zovrel
