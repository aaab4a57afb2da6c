#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"
#include "protocol/message_bodies.h"

namespace zovrel {
namespace {

Bytes HexToBytes(const std::string& text) {  // "57 AB 06" -> {0x57, 0xAB, 0x06}
    Bytes out;
    std::istringstream in(text);
    for (unsigned byte; in >> std::hex >> byte;)
        out.push_back(static_cast<uint8_t>(byte));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

uint32_t ScalarChecksum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i] + (p[i] & 7u) * static_cast<uint32_t>(i & 31);
    return sum;
}

const Bytes QUERY = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1);
const std::vector<Bytes> JUST_QUERY{QUERY};

// Short inputs are the fuzz target's and the known frames'. All 0xFF fills narrow per-lane
// counters and, past 16 MiB, wrap the 32-bit sum.
TEST(ProtocolChecksum, LongFillsEqualTheScalarSum) {
    const Bytes ones((size_t{1} << 24) + 4097, 0xFF);
    EXPECT_EQ(ProtocolChecksum(ones), ScalarChecksum(ones.data(), ones.size()));
}

TEST(BuildFrame, KnownFramesAndTheWireSizeLimit) {
    EXPECT_EQ(QUERY, HexToBytes("57 AB 06 01 00 00 00 06 00 00 00 02 00 00 00 00 00 63 01 00 00"));
    size_t total = 0;
    EXPECT_TRUE(FrameWireSize(MAX_FRAME_PAYLOAD, total));
    EXPECT_EQ(total, 65557u);
    EXPECT_FALSE(FrameWireSize(MAX_FRAME_PAYLOAD + 1, total));
    EXPECT_FALSE(FrameWireSize(uint64_t{1} << 40, total));
}

// A changed byte is the fuzz target's: what it accepts must encode back to the very bytes.
TEST(ParseFrame, RejectsShortAndOversized) {
    const Bytes good = BuildFrame(CHANNEL_TRANSFER, FIRST_PACKET, 9, Bytes(10, 0x41));
    Frame f;
    FrameHeader h;
    EXPECT_FALSE(ParseFrameHeader(good.data(), 16, h));  // the magic alone is not a header
    EXPECT_TRUE(ParseFrameHeader(good.data(), 17, h));
    EXPECT_FALSE(ParseFrame(good.data(), good.size() - 1, f));
    // The largest payload is taken; 65537 declared, with that many bytes and a correct checksum
    // behind it, is not.
    EXPECT_TRUE(ParseFrame(BuildFrame(6, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD, 1)), f));
    EXPECT_FALSE(ParseFrame(BuildFrame(6, MIDDLE_PACKET, 2, Bytes(MAX_FRAME_PAYLOAD + 1, 1)), f));
}

// (Bytes behind a frame are left to the engine's echo test.)
TEST(ParseFrame, AcceptsAnOddLengthField) {
    Frame f;
    Bytes odd = BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0, HexToBytes("AA"));
    WriteLE32(odd, 7, 1234);
    WriteLE32(odd, 18, ProtocolChecksum(odd.data(), 18));
    ASSERT_TRUE(ParseFrame(odd, f));
    // Encoding the decoded frame gives back its very bytes, odd length field and all: an echo
    // answered from the decoded frame is the device's own.
    EXPECT_EQ(EncodeFrame(f), odd);
}

TEST(LittleEndian, WritesOnlyInsideTheVector) {
    Bytes b(6, 0);
    WriteLE32(b, 1, 0x11223344);
    WriteLE16(b, 4, 0xAABB);
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
    WriteLE32(b, 3, 0xFFFFFFFF);  // would end past the last byte
    WriteLE16(b, SIZE_MAX, 0xFFFF);
    WriteLE32(b, SIZE_MAX - 1, 0xFFFFFFFF);
    EXPECT_EQ(b, HexToBytes("00 44 33 22 BB AA"));
}

TEST(Diagnostics, NamesSummariesAndHexText) {
    EXPECT_EQ(FrameSummary(Bytes(10, 0x57)), L"raw 10 B (invalid frame)");
    EXPECT_EQ(DescribeTlvValue({0x14, 3, HexToBytes("4F 4B 00")}), L"\"OK\" hex=[4F 4B 00]");
    EXPECT_EQ(DescribeTlvValue({0x14, 2, HexToBytes("00 01")}), L"hex=[00 01] (2 B)");
}

// Appends one read and takes out every frame it completes, as the serial reader does.
std::vector<Bytes> Feed(Bytes& buffer, const Bytes& read) {
    buffer.insert(buffer.end(), read.begin(), read.end());
    std::vector<Bytes> frames;
    for (Frame frame; ExtractFrame(buffer, frame);)
        frames.push_back(EncodeFrame(frame));
    return frames;
}

// Noise without the byte 0x57, so it cannot start a candidate.
Bytes Noise(size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    Bytes b(n);
    std::generate(b.begin(), b.end(), [&] { return static_cast<uint8_t>(rng()); });
    std::replace(b.begin(), b.end(), FRAME_MAGIC_0, uint8_t{0x58});
    return b;
}

TEST(ExtractFrame, CorruptAndOversizedFramesAreSkippedAsNoise) {
    Bytes corrupt = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(300, 0x42));
    corrupt[100] ^= 0x20;
    const Bytes oversized =
        BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 3, Bytes(MAX_FRAME_PAYLOAD + 1, 0));
    Bytes buffer;
    EXPECT_EQ(Feed(buffer, Concat({corrupt, QUERY})), JUST_QUERY);
    // Not even a candidate: the frame behind its first bytes comes out without waiting.
    EXPECT_EQ(Feed(buffer, Concat({Bytes(oversized.begin(), oversized.begin() + 40), QUERY})),
              JUST_QUERY);
    EXPECT_TRUE(Feed(buffer, oversized).empty());
    EXPECT_EQ(buffer.size(), 16u);
}

TEST(ExtractFrame, FalseStartHoldsUntilItsDeclaredSizeThenSearchResumesOneByteLater) {
    // 57 AB and a declared payload of 65536 in the noise, with a real frame right inside it.
    const Bytes falseStart = HexToBytes("57 AB 06 00 00 00 00 06 00 01 00 00 00 00 00 01 00");
    const Bytes stream = Concat({Noise(5), falseStart, QUERY, Noise(MAX_FRAME_SIZE, 3)});
    const size_t complete = 5 + MAX_FRAME_SIZE;  // up to the false start's last byte
    Bytes buffer;
    EXPECT_TRUE(Feed(buffer, Bytes(stream.begin(), stream.begin() + complete - 1)).empty());
    EXPECT_EQ(buffer.size(), MAX_FRAME_SIZE - 1);
    EXPECT_EQ(Feed(buffer, Bytes{stream[complete - 1]}), JUST_QUERY);
}

// Given up (the line has been quiet too long for the rest to come), incomplete candidates are
// passed over like rejected ones: the frames inside and behind them come out, and the buffer
// keeps at most a partial header. (While waiting they hold: the false-start case above.)
TEST(ExtractFrame, GivenUpCandidatesArePassedOverLikeRejectedOnes) {
    const Bytes falseStart = HexToBytes("57 AB 06 00 00 00 00 06 00 01 00 00 00 00 00 01 00");
    const Bytes cut(QUERY.begin(), QUERY.end() - 1);
    const Bytes echo = BuildFrame(CHANNEL_PERIPHERAL, PERIPHERAL_ECHO, 9, Bytes{'O', 'K'});
    const Bytes start = BuildFrame(CHANNEL_TRANSFER, START_REQUEST, 0);
    const std::pair<Bytes, std::vector<Bytes>> cases[] = {
        {Concat({falseStart, QUERY}), JUST_QUERY},
        {Concat({falseStart, cut, falseStart, echo, start}), {echo, start}},
        {Concat({Noise(3), cut}), {}},
        {Concat({QUERY, falseStart}), JUST_QUERY},
    };
    for (auto [buffer, frames] : cases) {
        std::vector<Bytes> got;
        for (Frame frame; ExtractFrame(buffer, frame, IncompleteCandidate::GIVE_UP);)
            got.push_back(EncodeFrame(frame));
        EXPECT_EQ(got, frames);
        EXPECT_LT(buffer.size(), FRAME_HEADER_SIZE);
    }
}

const Bytes ABC = {'a', 'b', 'c'};

// Rewrites header_crc so that only the field under test makes a descriptor invalid.
void Reseal(Bytes& d, size_t headerLen = DESCRIPTOR_SIZE) {
    const size_t covered = std::min(headerLen, DESCRIPTOR_SIZE);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), covered >= 4 ? covered - 4 : 0));
}

Bytes TextDescriptor(const std::string& tail) {
    return Concat(
        {HexToBytes("34 00 00 00"), Bytes(30, 0), HexToBytes("BF 00 11 00 00 00 " + tail)});
}

TEST(Bodies, KnownRepliesDescriptorsAndMiddleBody) {
    EXPECT_EQ(BuildGeneralReply(CHANNEL_TRANSFER, 5, RSP_SUCCESS, OUR_APP_ID),
              HexToBytes("57 AB 06 05 00 00 00 08 00 00 00 00 00 02 00 00 00 00 03 88 01 00 00"));
    EXPECT_EQ(BuildDeviceQueryRsp(CHANNEL_TRANSFER, 0, ADVERTISED_MAX_PACKET, 0),
              HexToBytes("57 AB 06 00 00 00 00 0C 00 00 00 82 00 06 00 00 00 40 28 00 00 00 00 "
                         "93 02 00 00"));
    EXPECT_EQ(BuildTransferDescriptor(DATA_TYPE_TEXT, ABC, L"ignored.txt"),
              TextDescriptor("37 00 00 00 2E 01 00 00 09 02 00 00"));

    // (Which heads parse is the fuzz target's; what they say, the engine's chunk tests'.)
    EXPECT_EQ(BuildMiddleBody(ABC.data(), ABC.size(), 0, 2),
              HexToBytes("02 00 00 00 00 02 00 00 00 61 62 63 2E 01 00 00"));
}

TEST(TransferDescriptor, ContentCodeNameAndTheFirstPacketsTwoCopies) {
    for (auto [type, code] :
         {std::pair<uint16_t, uint16_t>{DATA_TYPE_IMAGE, 0x12}, {DATA_TYPE_FILE, 0x13}, {7, 0x11}})
        EXPECT_EQ(ReadLE16(BuildTransferDescriptor(type, ABC, L"a.png"), 36), code) << type;
    const Bytes image = BuildTransferDescriptor(DATA_TYPE_IMAGE, ABC, L"a.png");
    EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 10), std::string("a.png\0", 6));

    // The receiver reads all 30 bytes when no terminator comes, and trims the name.
    Bytes d = BuildTransferDescriptor(DATA_TYPE_FILE, ABC, L"x");
    TransferDescriptor parsed;
    const std::string thirty = "  abcdefghijklmnopqrstuvwxyz12";
    std::copy(thirty.begin(), thirty.end(), d.begin() + 4);
    Reseal(d);
    ASSERT_TRUE(ParseTransferDescriptor(d.data(), d.size(), parsed));
    EXPECT_EQ(parsed.file_name, L"abcdefghijklmnopqrstuvwxyz12");

    const Bytes first = BuildFirstPacketBody(d);
    ASSERT_EQ(first.size(), 105u);  // the flag, then the descriptor twice
    EXPECT_TRUE(std::equal(first.begin() + 1, first.begin() + 53, first.begin() + 53));
}

// What an accepted descriptor must hold (lengths, total, checksum) is the fuzz target's.
TEST(TransferDescriptor, AShorterHeaderLenAndLabelsNoSenderUsesAreAccepted) {
    TransferDescriptor d;
    for (uint16_t h : {4, 20, 52}) {
        Bytes b = BuildTransferDescriptor(DATA_TYPE_TEXT, ABC, L"");
        WriteLE16(b, 0, h);
        WriteLE32(b, 34, 0x00991234);
        WriteLE32(b, 40, h);
        Reseal(b, h);  // which covers fewer bytes, still read at offset 48
        EXPECT_TRUE(ParseTransferDescriptor(b.data(), b.size(), d)) << h;
    }
    EXPECT_EQ(d.marker, 0x1234u);
    EXPECT_EQ(d.content_code, 0x99u);
}

// The rejections of an echo body, and that the log names one exactly then, are the fuzz target's.
TEST(EchoTlv, AcceptsOneToFortyValueBytes) {
    EchoTlv tlv;
    Bytes body{0x14, 0, 1, 0, 0, 0, 'A'};
    EXPECT_TRUE(ParseEchoTlv(body, tlv));
    body.resize(46, 'A');
    body[2] = 40;
    ASSERT_TRUE(ParseEchoTlv(body, tlv));
    EXPECT_EQ(tlv.value, Bytes(40, 'A'));
}

TEST(Limits, ChunkSizesAndFileNames) {
    EXPECT_EQ(ChunkSizeFromDevice(65), 1u);
    EXPECT_EQ(ChunkSizeFromDevice(0), DEFAULT_CHUNK_SIZE);
    EXPECT_EQ(ChunkSizeFromDevice(0xFFFFFFFF), DEFAULT_CHUNK_SIZE);
    EXPECT_EQ(FileNameOfPath(L"  dir\\sub/a b.txt \t"), L"a b.txt");
    EXPECT_EQ(FileNameOfPath(L"C:\\folder\\"), L"");
}

}  // namespace
}  // namespace zovrel
