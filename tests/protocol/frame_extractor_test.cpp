#include "protocol/frame_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "protocol/frame_codec.h"
#include "protocol/test_bytes.h"

namespace zovrel {
namespace {

// Appends one read and takes out every frame it completes, as the serial reader does.
std::vector<Bytes> Feed(Bytes& buffer, const Bytes& read) {
    buffer.insert(buffer.end(), read.begin(), read.end());
    std::vector<Bytes> frames;
    for (Bytes frame; ExtractFrame(buffer, frame);)
        frames.push_back(frame);
    return frames;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Noise without the byte 0x57, so it cannot start a candidate.
Bytes Noise(size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    Bytes b = RandomBytes(rng, n);
    std::replace(b.begin(), b.end(), FRAME_MAGIC_0, uint8_t{0x58});
    return b;
}

const Bytes kQuery = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1);
const std::vector<Bytes> kJustQuery{kQuery};

TEST(ExtractFrame, NoiseIsCutToTheLastSixteenBytesWhichMayStartAFrame) {
    Bytes buffer(kQuery.begin(), kQuery.begin() + 16), frame{1, 2, 3};
    EXPECT_FALSE(ExtractFrame(buffer, frame));
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(buffer.size(), 16u);  // too short to judge: left alone

    const Bytes noise = Noise(40);
    buffer = noise;
    EXPECT_FALSE(ExtractFrame(buffer, frame));
    EXPECT_EQ(buffer, Bytes(noise.end() - 16, noise.end()));

    buffer = Concat({Noise(30), Bytes(kQuery.begin(), kQuery.begin() + 10)});
    EXPECT_TRUE(Feed(buffer, {}).empty());
    EXPECT_EQ(buffer.size(), 16u);
    EXPECT_EQ(Feed(buffer, Bytes(kQuery.begin() + 10, kQuery.end())), kJustQuery);
}

TEST(ExtractFrame, CorruptAndOversizedFramesAreSkippedAsNoise) {
    Bytes corrupt = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(300, 0x42));
    corrupt[100] ^= 0x20;
    const Bytes oversized =
        BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 3, Bytes(MAX_FRAME_PAYLOAD + 1, 0));
    Bytes buffer;
    EXPECT_EQ(Feed(buffer, Concat({corrupt, kQuery})), kJustQuery);
    // Not even a candidate: the frame behind its first bytes comes out without waiting.
    EXPECT_EQ(Feed(buffer, Concat({Bytes(oversized.begin(), oversized.begin() + 40), kQuery})),
              kJustQuery);
    EXPECT_TRUE(Feed(buffer, oversized).empty());
    EXPECT_EQ(buffer.size(), 16u);
}

TEST(ExtractFrame, FalseStartHoldsUntilItsDeclaredSizeThenSearchResumesOneByteLater) {
    // 57 AB and a declared payload of 65536 in the noise, with a real frame right inside it.
    const Bytes falseStart = HexToBytes("57 AB 06 00 00 00 00 06 00 01 00 00 00 00 00 01 00");
    const Bytes stream = Concat({Noise(5), falseStart, kQuery, Noise(MAX_FRAME_SIZE, 3)});
    const size_t complete = 5 + MAX_FRAME_SIZE;  // up to the false start's last byte
    Bytes buffer;
    EXPECT_TRUE(Feed(buffer, Bytes(stream.begin(), stream.begin() + complete - 1)).empty());
    EXPECT_EQ(buffer.size(), MAX_FRAME_SIZE - 1);
    EXPECT_EQ(Feed(buffer, Bytes{stream[complete - 1]}), kJustQuery);
}

TEST(ExtractFrame, SameFramesOnceEachWhateverTheReadSizes) {
    std::mt19937 rng(17);
    Bytes stream;
    std::vector<Bytes> sent;
    for (int k = 0; k < 40; ++k) {
        sent.push_back(
            BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, k, RandomBytes(rng, rng() % 2000)));
        stream = Concat({stream, Noise(rng() % 50, k), sent.back()});
    }
    for (size_t maxRead : {1, 7, 64, 8192}) {
        Bytes buffer;
        std::vector<Bytes> got;
        for (size_t pos = 0, n; pos < stream.size(); pos += n) {
            n = std::min<size_t>(1 + rng() % maxRead, stream.size() - pos);
            for (Bytes& frame : Feed(buffer, Bytes(stream.begin() + pos, stream.begin() + pos + n)))
                got.push_back(frame);
            ASSERT_LT(buffer.size(), MAX_FRAME_SIZE);
        }
        EXPECT_EQ(got, sent) << maxRead;
    }
}

}  // namespace
}  // namespace zovrel
