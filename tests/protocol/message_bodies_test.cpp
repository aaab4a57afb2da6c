#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/text.h"
#include "protocol/frame_codec.h"
#include "protocol/hex.h"
#include "protocol/message_bodies.h"

namespace zovrel {
namespace {

const Bytes kAbc = {'a', 'b', 'c'};

// Rewrites header_crc so that only the field under test makes a descriptor invalid.
// Lengths the descriptor cannot cover are clamped to it.
void Reseal(Bytes& d, size_t headerLen = DESCRIPTOR_SIZE) {
    const size_t covered = std::min(headerLen, DESCRIPTOR_SIZE);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), covered >= 4 ? covered - 4 : 0));
}

TEST(Replies, MatchKnownFrames) {
    EXPECT_EQ(BuildGeneralReply(CHANNEL_TRANSFER, 5, RSP_SUCCESS, OUR_APP_ID),
              HexToBytes("57 AB 06 05 00 00 00 08 00 00 00 00 00 02 00 00 00 00 03 88 01 00 00"));
    EXPECT_EQ(BuildGeneralReply(CHANNEL_TRANSFER, 7, RSP_FAILURE, OUR_APP_ID),
              HexToBytes("57 AB 06 07 00 00 00 08 00 00 00 00 00 02 00 00 00 01 03 A2 01 00 00"));
    EXPECT_EQ(BuildDeviceQueryRsp(CHANNEL_TRANSFER, 0, ADVERTISED_MAX_PACKET, 0),
              HexToBytes("57 AB 06 00 00 00 00 0C 00 00 00 82 00 06 00 00 00 40 28 00 00 00 00 "
                         "93 02 00 00"));
    EXPECT_EQ(ADVERTISED_MAX_PACKET, 10304u);
}

TEST(TransferDescriptor, TextAbcAndEmptyText) {
    const Bytes d = BuildTransferDescriptor(DATA_TYPE_TEXT, kAbc, L"ignored.txt");
    Bytes expected = HexToBytes("34 00 00 00");
    expected.resize(34, 0);
    const Bytes tail = HexToBytes("BF 00 11 00 00 00 37 00 00 00 2E 01 00 00 09 02 00 00");
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(d, expected);

    const Bytes empty = BuildTransferDescriptor(DATA_TYPE_TEXT, {}, L"");
    EXPECT_EQ(ReadLE32(empty, 40), 52u);
    EXPECT_EQ(ReadLE32(empty, 44), 0u);
    EXPECT_EQ(ReadLE32(empty, 48), 0x16Au);
}

TEST(TransferDescriptor, ContentCodeAndNameDependOnType) {
    const Bytes image = BuildTransferDescriptor(DATA_TYPE_IMAGE, kAbc, L"a.png");
    EXPECT_EQ(ReadLE16(image, 36), 0x12u);
    EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 9), "a.png");
    EXPECT_EQ(image[9], 0);
    const Bytes file = BuildTransferDescriptor(DATA_TYPE_FILE, kAbc, L"报告.pdf");
    EXPECT_EQ(ReadLE16(file, 36), 0x13u);
    const Bytes other = BuildTransferDescriptor(7, kAbc, L"x.bin");
    EXPECT_EQ(ReadLE16(other, 36), 0x11u);
    EXPECT_EQ(other[4], 0);  // no name for text or unknown types

    TransferDescriptor parsed;
    ASSERT_TRUE(ParseTransferDescriptor(file.data(), file.size(), parsed));
    EXPECT_EQ(parsed.file_name, L"报告.pdf");
    EXPECT_EQ(parsed.data_type, DATA_TYPE_FILE);
    EXPECT_EQ(parsed.total, 55u);
    EXPECT_EQ(parsed.mcAdd, 0x12Eu);
}

TEST(TransferDescriptor, LongNameIsCutAt29BytesEvenInsideACharacter) {
    // 13 three-byte characters plus "x" = 40 bytes; byte 29 falls inside the tenth character.
    const std::wstring name = std::wstring(13, L'中') + L"x";
    ASSERT_EQ(ToUtf8(name).size(), 40u);
    const Bytes d = BuildTransferDescriptor(DATA_TYPE_FILE, kAbc, name);
    EXPECT_EQ(std::string(d.begin() + 4, d.begin() + 33), ToUtf8(name).substr(0, 29));
    EXPECT_EQ(d[33], 0);

    TransferDescriptor parsed;
    ASSERT_TRUE(ParseTransferDescriptor(d.data(), d.size(), parsed));
    EXPECT_EQ(parsed.file_name, FromUtf8(ToUtf8(name).substr(0, 29)));
    EXPECT_EQ(parsed.file_name.substr(0, 9), std::wstring(9, L'中'));
}

TEST(TransferDescriptor, ReceiverDecodesAThirtyByteNameAndTrimsIt) {
    Bytes d = BuildTransferDescriptor(DATA_TYPE_FILE, kAbc, L"");
    const std::string name = "  abcdefghijklmnopqrstuvwxyz12";  // 30 bytes, no terminator
    std::copy(name.begin(), name.end(), d.begin() + 4);
    Reseal(d);
    TransferDescriptor parsed;
    ASSERT_TRUE(ParseTransferDescriptor(d.data(), d.size(), parsed));
    EXPECT_EQ(parsed.file_name, L"abcdefghijklmnopqrstuvwxyz12");
}

TEST(TransferDescriptor, RoundTripsRandomPayloads) {
    std::mt19937 rng(5);
    for (int k = 0; k < 50; ++k) {
        Bytes payload(rng() % 5000);
        for (auto& b : payload)
            b = static_cast<uint8_t>(rng());
        const auto type = static_cast<uint16_t>(rng() % 4);
        const Bytes body = BuildFirstPacketBody(BuildTransferDescriptor(type, payload, L"f.dat"));
        ASSERT_EQ(body.size(), 105u);
        uint8_t flag = 0;
        TransferDescriptor d;
        ASSERT_TRUE(ParseFirstPacket(body, flag, d));
        EXPECT_EQ(flag, FIRST_FLAG);
        EXPECT_EQ(d.header_len, DESCRIPTOR_SIZE);
        EXPECT_EQ(d.data_type, type);
        EXPECT_EQ(d.total - d.header_len, payload.size());
        EXPECT_EQ(d.mcAdd, payload.empty() ? 0u : ProtocolChecksum(payload));
        EXPECT_EQ(d.marker, DESCRIPTOR_MARKER);
        EXPECT_EQ(d.file_name, (type == 1 || type == 2) ? L"f.dat" : L"");
        EXPECT_TRUE(std::equal(body.begin() + 1, body.begin() + 53, body.begin() + 53));
    }
}

TEST(ParseFirstPacket, NeedsOneWholeDescriptor) {
    const Bytes full = BuildFirstPacketBody(BuildTransferDescriptor(DATA_TYPE_TEXT, kAbc, L""));
    uint8_t flag = 0;
    TransferDescriptor d;
    const Bytes one(full.begin(), full.begin() + 53);
    EXPECT_TRUE(ParseFirstPacket(one, flag, d));
    const Bytes short52(full.begin(), full.begin() + 52);
    EXPECT_FALSE(ParseFirstPacket(short52, flag, d));
    EXPECT_FALSE(ParseFirstPacket(nullptr, 0, flag, d));
    // The flag is read, not interpreted.
    Bytes flagged = full;
    flagged[0] = 0x7F;
    EXPECT_TRUE(ParseFirstPacket(flagged, flag, d));
    EXPECT_EQ(flag, 0x7F);
}

TEST(ParseTransferDescriptor, ValidatesLengthChecksumAndTotal) {
    const Bytes good = BuildTransferDescriptor(DATA_TYPE_TEXT, kAbc, L"");
    TransferDescriptor d;
    EXPECT_FALSE(ParseTransferDescriptor(good.data(), 51, d));

    for (uint16_t h : {0, 3, 53, 0xFFFF}) {
        Bytes bad = good;
        WriteLE16(bad, 0, h);
        Reseal(bad, h);
        EXPECT_FALSE(ParseTransferDescriptor(bad.data(), bad.size(), d)) << h;
    }
    // A shorter header_len covers fewer bytes by the checksum, still read at offset 48.
    for (uint16_t h : {4, 20, 52}) {
        Bytes ok = good;
        WriteLE16(ok, 0, h);
        WriteLE32(ok, 40, h);  // total >= h
        Reseal(ok, h);
        EXPECT_TRUE(ParseTransferDescriptor(ok.data(), ok.size(), d)) << h;
        EXPECT_EQ(d.header_len, h);
    }
    Bytes smallTotal = good;
    WriteLE32(smallTotal, 40, 51);
    Reseal(smallTotal);
    EXPECT_FALSE(ParseTransferDescriptor(smallTotal.data(), smallTotal.size(), d));

    Bytes badCrc = good;
    badCrc[48] ^= 1;
    EXPECT_FALSE(ParseTransferDescriptor(badCrc.data(), badCrc.size(), d));
    Bytes tampered = good;
    tampered[40] ^= 1;  // total changed without resealing
    EXPECT_FALSE(ParseTransferDescriptor(tampered.data(), tampered.size(), d));

    // marker and content_code are not checked beyond the checksum.
    Bytes relabelled = good;
    WriteLE16(relabelled, 34, 0x1234);
    WriteLE16(relabelled, 36, 0x99);
    Reseal(relabelled);
    ASSERT_TRUE(ParseTransferDescriptor(relabelled.data(), relabelled.size(), d));
    EXPECT_EQ(d.marker, 0x1234u);
    EXPECT_EQ(d.content_code, 0x99u);
}

TEST(MiddlePacket, BuildAndParseHead) {
    const Bytes body = BuildMiddleBody(kAbc.data(), kAbc.size(), 0, 2);
    EXPECT_EQ(body, HexToBytes("02 00 00 00 00 02 00 00 00 61 62 63 2E 01 00 00"));
    MiddleHead h;
    ASSERT_TRUE(ParseMiddleHead(body, h));
    EXPECT_EQ(h.crc_flag, CRC_FLAG_TRAILER);
    EXPECT_EQ(h.start, 0u);
    EXPECT_EQ(h.end, 2u);

    const Bytes later = BuildMiddleBody(kAbc.data(), kAbc.size(), 0x01020304, 0x01020306);
    ASSERT_TRUE(ParseMiddleHead(later, h));
    EXPECT_EQ(h.start, 0x01020304u);
    EXPECT_EQ(h.end, 0x01020306u);

    EXPECT_TRUE(ParseMiddleHead(Bytes(9, 3), h));  // no data at all is still a head
    EXPECT_EQ(h.crc_flag, 3);
    EXPECT_FALSE(ParseMiddleHead(Bytes(8, 2), h));
    EXPECT_EQ(BuildMiddleBody(nullptr, 0, 0, 0).size(), 13u);
}

Bytes EchoBody(uint16_t type, uint32_t length, size_t valueBytes) {
    Bytes b(6 + valueBytes, 'A');
    WriteLE16(b, 0, type);
    WriteLE32(b, 2, length);
    return b;
}

TEST(EchoTlv, AcceptsOneToFortyValueBytes) {
    EchoTlv tlv;
    const Bytes one = EchoBody(0x14, 1, 1);
    ASSERT_TRUE(ParseEchoTlv(one, tlv));
    EXPECT_EQ(tlv.type, 0x14);
    EXPECT_EQ(tlv.length, 1u);
    EXPECT_EQ(tlv.value, Bytes{'A'});
    EXPECT_EQ(DescribeTlvFailure(one), L"unknown");
    ASSERT_TRUE(ParseEchoTlv(EchoBody(0x14, 40, 40), tlv));
    EXPECT_EQ(tlv.value.size(), 40u);
}

TEST(EchoTlv, EachRejectionHasItsReason) {
    struct Case {
        Bytes body;
        std::wstring reason;
    };
    const Case cases[] = {
        {Bytes(5, 0x14), L"payload too short (5 < 6)"},
        {Bytes{}, L"payload too short (0 < 6)"},
        {EchoBody(0x14, 0, 0), L"tlv.length=0"},
        {EchoBody(0x15, 1, 1), L"tlv.type=0x0015 expected 0x0014"},
        {EchoBody(0x1400, 1, 1), L"tlv.type=0x1400 expected 0x0014"},
        {EchoBody(0x14, 0, 3), L"tlv.length=0"},
        {EchoBody(0x14, 41, 41), L"tlv.length=41 > max 40"},
        {EchoBody(0x14, 0xFFFFFFFF, 1), L"tlv.length=4294967295 > max 40"},
        {EchoBody(0x14, 3, 2), L"payload=8 B != tlv wire 9 B (length=3)"},
        {EchoBody(0x14, 3, 4), L"payload=10 B != tlv wire 9 B (length=3)"},
        {EchoBody(0x14, 1, 0), L"payload=6 B != tlv wire 7 B (length=1)"},
    };
    for (const Case& c : cases) {
        EchoTlv tlv;
        EXPECT_FALSE(ParseEchoTlv(c.body, tlv)) << ToUtf8(c.reason);
        EXPECT_EQ(DescribeTlvFailure(c.body), c.reason);
    }
}

TEST(Limits, PayloadLimitPerDataType) {
    EXPECT_EQ(MaxPayloadForType(DATA_TYPE_TEXT), 1048576u);
    EXPECT_EQ(MaxPayloadForType(DATA_TYPE_IMAGE), 10485760u);
    EXPECT_FALSE(MaxPayloadForType(DATA_TYPE_FILE).has_value());
    EXPECT_EQ(MaxPayloadForType(3), 1048576u);
    EXPECT_EQ(MaxPayloadForType(0xFFFF), 1048576u);
}

TEST(Limits, ChunkSizeFromDevice) {
    EXPECT_EQ(ChunkSizeFromDevice(10304), 10240u);
    EXPECT_EQ(ChunkSizeFromDevice(4160), 4096u);
    EXPECT_EQ(ChunkSizeFromDevice(64), 64u);
    EXPECT_EQ(ChunkSizeFromDevice(65), 1u);
    EXPECT_EQ(ChunkSizeFromDevice(1), 1u);
    EXPECT_EQ(ChunkSizeFromDevice(0), DEFAULT_CHUNK_SIZE);
    EXPECT_EQ(ChunkSizeFromDevice(0xFFFFFFFF), DEFAULT_CHUNK_SIZE);
}

TEST(Names, DataTypeName) {
    EXPECT_EQ(DataTypeName(0), L"text");
    EXPECT_EQ(DataTypeName(1), L"image");
    EXPECT_EQ(DataTypeName(2), L"file");
    EXPECT_EQ(DataTypeName(3), L"type(3)");
    EXPECT_EQ(DataTypeName(65535), L"type(65535)");
}

TEST(Names, FileNameOfPath) {
    EXPECT_EQ(FileNameOfPath(L"C:\\Users\\me\\报告.pdf"), L"报告.pdf");
    EXPECT_EQ(FileNameOfPath(L"  /home/me/a b.txt \t"), L"a b.txt");
    EXPECT_EQ(FileNameOfPath(L"dir\\sub/mixed.bin"), L"mixed.bin");
    EXPECT_EQ(FileNameOfPath(L"plain.txt"), L"plain.txt");
    EXPECT_EQ(FileNameOfPath(L"C:\\folder\\"), L"");
    EXPECT_EQ(FileNameOfPath(L"   "), L"");
    EXPECT_EQ(FileNameOfPath(L""), L"");
}

}  // namespace
}  // namespace zovrel
