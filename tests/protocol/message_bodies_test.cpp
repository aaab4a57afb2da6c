#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "protocol/test_bytes.h"

namespace zovrel {
namespace {

const Bytes kAbc = {'a', 'b', 'c'};

// Rewrites header_crc so that only the field under test makes a descriptor invalid.
void Reseal(Bytes& d, size_t headerLen = DESCRIPTOR_SIZE) {
    const size_t covered = std::min(headerLen, DESCRIPTOR_SIZE);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), covered >= 4 ? covered - 4 : 0));
}

TEST(Bodies, KnownRepliesDescriptorsAndMiddleBody) {
    EXPECT_EQ(BuildGeneralReply(CHANNEL_TRANSFER, 5, RSP_SUCCESS, OUR_APP_ID),
              HexToBytes("57 AB 06 05 00 00 00 08 00 00 00 00 00 02 00 00 00 00 03 88 01 00 00"));
    EXPECT_EQ(BuildGeneralReply(CHANNEL_TRANSFER, 7, RSP_FAILURE, OUR_APP_ID),
              HexToBytes("57 AB 06 07 00 00 00 08 00 00 00 00 00 02 00 00 00 01 03 A2 01 00 00"));
    EXPECT_EQ(BuildDeviceQueryRsp(CHANNEL_TRANSFER, 0, ADVERTISED_MAX_PACKET, 0),
              HexToBytes("57 AB 06 00 00 00 00 0C 00 00 00 82 00 06 00 00 00 40 28 00 00 00 00 "
                         "93 02 00 00"));

    Bytes abc = HexToBytes("34 00 00 00");
    abc.resize(34, 0);
    for (uint8_t b : HexToBytes("BF 00 11 00 00 00 37 00 00 00 2E 01 00 00 09 02 00 00"))
        abc.push_back(b);
    EXPECT_EQ(BuildTransferDescriptor(DATA_TYPE_TEXT, kAbc, L"ignored.txt"), abc);
    const Bytes empty = BuildTransferDescriptor(DATA_TYPE_TEXT, {}, L"");
    EXPECT_EQ(ReadLE32(empty, 40), 52u);
    EXPECT_EQ(ReadLE32(empty, 44), 0u);
    EXPECT_EQ(ReadLE32(empty, 48), 0x16Au);

    const Bytes middle = BuildMiddleBody(kAbc.data(), kAbc.size(), 0, 2);
    EXPECT_EQ(middle, HexToBytes("02 00 00 00 00 02 00 00 00 61 62 63 2E 01 00 00"));
    MiddleHead h;
    ASSERT_TRUE(ParseMiddleHead(middle, h));
    EXPECT_EQ(h.crc_flag, CRC_FLAG_TRAILER);
    EXPECT_EQ(h.end, 2u);
    EXPECT_TRUE(ParseMiddleHead(Bytes(9, 3), h));  // a head with no data at all
    EXPECT_EQ(h.start, 0x03030303u);
    EXPECT_FALSE(ParseMiddleHead(Bytes(8, 2), h));
}

TEST(TransferDescriptor, ContentCodeAndFileNameDependOnTheType) {
    const Bytes image = BuildTransferDescriptor(DATA_TYPE_IMAGE, kAbc, L"a.png");
    EXPECT_EQ(ReadLE16(image, 36), 0x12u);
    EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 10), std::string("a.png\0", 6));
    EXPECT_EQ(ReadLE16(BuildTransferDescriptor(DATA_TYPE_FILE, kAbc, L"x"), 36), 0x13u);
    const Bytes other = BuildTransferDescriptor(7, kAbc, L"x.bin");
    EXPECT_EQ(ReadLE16(other, 36), 0x11u);
    EXPECT_EQ(other[4], 0);  // no name for text or unknown types

    // A 40-byte UTF-8 name is cut to 29 bytes, here inside the tenth character.
    const std::string utf8 = ToUtf8(std::wstring(13, L'中') + L"x");
    Bytes d = BuildTransferDescriptor(DATA_TYPE_FILE, kAbc, FromUtf8(utf8));
    EXPECT_EQ(std::string(d.begin() + 4, d.begin() + 34), utf8.substr(0, 29) + '\0');
    TransferDescriptor parsed;
    ASSERT_TRUE(ParseTransferDescriptor(d.data(), d.size(), parsed));
    EXPECT_EQ(parsed.file_name, FromUtf8(utf8.substr(0, 29)));
    EXPECT_EQ(parsed.total, 55u);

    // The receiver reads all 30 bytes when no terminator comes, and trims the name.
    const std::string thirty = "  abcdefghijklmnopqrstuvwxyz12";
    std::copy(thirty.begin(), thirty.end(), d.begin() + 4);
    Reseal(d);
    ASSERT_TRUE(ParseTransferDescriptor(d.data(), d.size(), parsed));
    EXPECT_EQ(parsed.file_name, L"abcdefghijklmnopqrstuvwxyz12");
}

TEST(FirstPacket, RoundTripsRandomPayloadsAndNeedsOneWholeDescriptor) {
    std::mt19937 rng(5);
    for (int k = 0; k < 50; ++k) {
        const Bytes payload = RandomBytes(rng, rng() % 5000);
        const auto type = static_cast<uint16_t>(rng() % 4);
        const Bytes body =
            BuildFirstPacketBody(BuildTransferDescriptor(type, payload, L"报告.pdf"));
        ASSERT_EQ(body.size(), 105u);
        EXPECT_TRUE(std::equal(body.begin() + 1, body.begin() + 53, body.begin() + 53));
        uint8_t flag = 0;
        TransferDescriptor d;
        ASSERT_TRUE(ParseFirstPacket(body, flag, d));
        EXPECT_EQ(flag, FIRST_FLAG);
        EXPECT_EQ(d.data_type, type);
        EXPECT_EQ(d.total - d.header_len, payload.size());
        EXPECT_EQ(d.mcAdd, ProtocolChecksum(payload));
        EXPECT_EQ(d.file_name, (type == 1 || type == 2) ? L"报告.pdf" : L"");
    }
    Bytes one = BuildFirstPacketBody(BuildTransferDescriptor(DATA_TYPE_TEXT, kAbc, L""));
    one.resize(53);
    one[0] = 0x7F;  // the flag is read, not interpreted
    uint8_t flag = 0;
    TransferDescriptor d;
    EXPECT_TRUE(ParseFirstPacket(one, flag, d));
    EXPECT_EQ(flag, 0x7F);
    one.pop_back();
    EXPECT_FALSE(ParseFirstPacket(one, flag, d));
}

TEST(TransferDescriptor, RejectsBadLengthsTotalsAndChecksumsButNotNewLabels) {
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
        WriteLE32(ok, 40, h);  // total >= header_len
        Reseal(ok, h);
        EXPECT_TRUE(ParseTransferDescriptor(ok.data(), ok.size(), d)) << h;
    }
    for (size_t at : {40, 48}) {  // total changed without resealing; header_crc changed
        Bytes bad = good;
        bad[at] ^= 1;
        EXPECT_FALSE(ParseTransferDescriptor(bad.data(), bad.size(), d)) << at;
    }
    Bytes changed = good;
    WriteLE32(changed, 40, 51);  // total below header_len
    Reseal(changed);
    EXPECT_FALSE(ParseTransferDescriptor(changed.data(), changed.size(), d));
    WriteLE32(changed, 40, 55);
    WriteLE16(changed, 34, 0x1234);  // marker and content_code are not checked
    WriteLE16(changed, 36, 0x99);
    Reseal(changed);
    ASSERT_TRUE(ParseTransferDescriptor(changed.data(), changed.size(), d));
    EXPECT_EQ(d.marker, 0x1234u);
    EXPECT_EQ(d.content_code, 0x99u);
}

Bytes EchoBody(uint16_t type, uint32_t length, size_t valueBytes) {
    Bytes b(6 + valueBytes, 'A');
    WriteLE16(b, 0, type);
    WriteLE32(b, 2, length);
    return b;
}

TEST(EchoTlv, AcceptsOneToFortyValueBytesAndNamesEachRejection) {
    EchoTlv tlv;
    EXPECT_TRUE(ParseEchoTlv(EchoBody(0x14, 1, 1), tlv));
    ASSERT_TRUE(ParseEchoTlv(EchoBody(0x14, 40, 40), tlv));
    EXPECT_EQ(tlv.value, Bytes(40, 'A'));
    EXPECT_EQ(DescribeTlvFailure(EchoBody(0x14, 40, 40)), L"unknown");
    const std::pair<Bytes, std::wstring> rejected[] = {
        {Bytes(5, 0x14), L"payload too short (5 < 6)"},
        {Bytes{}, L"payload too short (0 < 6)"},
        {EchoBody(0x14, 0, 0), L"tlv.length=0"},
        {EchoBody(0x1400, 1, 1), L"tlv.type=0x1400 expected 0x0014"},
        {EchoBody(0x14, 41, 41), L"tlv.length=41 > max 40"},
        {EchoBody(0x14, 0xFFFFFFFF, 1), L"tlv.length=4294967295 > max 40"},
        {EchoBody(0x14, 3, 2), L"payload=8 B != tlv wire 9 B (length=3)"},
        {EchoBody(0x14, 3, 4), L"payload=10 B != tlv wire 9 B (length=3)"},
    };
    for (const auto& [body, reason] : rejected) {
        EXPECT_FALSE(ParseEchoTlv(body, tlv)) << ToUtf8(reason);
        EXPECT_EQ(DescribeTlvFailure(body), reason);
    }
}

TEST(Limits, PayloadLimitsChunkSizesAndNames) {
    EXPECT_EQ(MaxPayloadForType(DATA_TYPE_TEXT), 1048576u);
    EXPECT_EQ(MaxPayloadForType(DATA_TYPE_IMAGE), 10485760u);
    EXPECT_FALSE(MaxPayloadForType(DATA_TYPE_FILE).has_value());
    EXPECT_EQ(ChunkSizeFromDevice(10304), 10240u);
    EXPECT_EQ(ChunkSizeFromDevice(65), 1u);
    EXPECT_EQ(ChunkSizeFromDevice(0), DEFAULT_CHUNK_SIZE);
    EXPECT_EQ(ChunkSizeFromDevice(0xFFFFFFFF), DEFAULT_CHUNK_SIZE);
    EXPECT_EQ(DataTypeName(2), L"file");
    EXPECT_EQ(DataTypeName(3), L"type(3)");
    EXPECT_EQ(FileNameOfPath(L"  dir\\sub/a b.txt \t"), L"a b.txt");
    EXPECT_EQ(FileNameOfPath(L"plain.txt"), L"plain.txt");
    EXPECT_EQ(FileNameOfPath(L"C:\\folder\\"), L"");
}

}  // namespace
}  // namespace zovrel
