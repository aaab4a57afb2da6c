#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/frame_codec.h"
#include "protocol/frame_extractor.h"
#include "protocol/hex.h"

namespace zovrel {
namespace {

// Appends one read and takes out every frame it completes, as the serial reader does.
std::vector<Bytes> Feed(Bytes& buffer, const Bytes& read) {
    buffer.insert(buffer.end(), read.begin(), read.end());
    std::vector<Bytes> frames;
    Bytes frame;
    while (ExtractFrame(buffer, frame))
        frames.push_back(frame);
    EXPECT_TRUE(frame.empty());
    return frames;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Noise that never contains the byte 0x57, so it cannot start a candidate.
Bytes Noise(size_t n, uint8_t seed = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(seed + i * 13);
        if (b[i] == FRAME_MAGIC_0)
            b[i] = 0x58;
    }
    return b;
}

const Bytes kQuery = BuildFrame(CHANNEL_TRANSFER, DEVICE_QUERY, 1);
const Bytes kMiddle = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 2, Bytes(300, 0x42));

TEST(ExtractFrame, ShortBufferIsLeftAlone) {
    Bytes buffer(kQuery.begin(), kQuery.begin() + 16);
    Bytes frame{1, 2, 3};
    EXPECT_FALSE(ExtractFrame(buffer, frame));
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(buffer.size(), 16u);
}

TEST(ExtractFrame, SingleByteReadsExtractOnceOnTheLastByte) {
    Bytes buffer;
    for (size_t i = 0; i < kMiddle.size(); ++i) {
        const auto frames = Feed(buffer, Bytes{kMiddle[i]});
        if (i + 1 < kMiddle.size()) {
            ASSERT_TRUE(frames.empty()) << i;
        } else {
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_EQ(frames[0], kMiddle);
        }
    }
    EXPECT_TRUE(buffer.empty());
}

TEST(ExtractFrame, TwoFramesInOneReadComeOutInOrder) {
    Bytes buffer;
    const auto frames = Feed(buffer, Concat({kMiddle, kQuery}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], kMiddle);
    EXPECT_EQ(frames[1], kQuery);
    EXPECT_TRUE(buffer.empty());
}

TEST(ExtractFrame, NoiseBeforeAFrameIsDropped) {
    Bytes buffer;
    const auto frames = Feed(buffer, Concat({Noise(10), kQuery, Bytes{0x01, 0x02}}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kQuery);
    EXPECT_EQ(buffer, (Bytes{0x01, 0x02}));
}

TEST(ExtractFrame, PureNoiseKeepsOnlyTheLastSixteenBytes) {
    const Bytes noise = Noise(40);
    Bytes buffer = noise;
    Bytes frame;
    EXPECT_FALSE(ExtractFrame(buffer, frame));
    EXPECT_EQ(buffer, Bytes(noise.end() - 16, noise.end()));
    // The kept tail may begin a header: finishing it yields the frame.
    Bytes tailStart = Concat({Noise(30), Bytes(kQuery.begin(), kQuery.begin() + 10)});
    buffer = tailStart;
    EXPECT_FALSE(ExtractFrame(buffer, frame));
    EXPECT_EQ(buffer.size(), 16u);
    const auto frames = Feed(buffer, Bytes(kQuery.begin() + 10, kQuery.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kQuery);
}

TEST(ExtractFrame, CorruptFrameIsSkippedAndTheNextOneFound) {
    Bytes bad = kMiddle;
    bad[100] ^= 0x20;
    Bytes buffer;
    const auto frames = Feed(buffer, Concat({bad, kQuery}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kQuery);
}

TEST(ExtractFrame, FalseStartHoldsUntilItsDeclaredSizeThenSearchResumesOneByteLater) {
    // 57 AB and a declared payload of 65536 in the noise, with a real frame right inside it.
    Bytes falseStart = HexToBytes("57 AB 06 00 00 00 00 06 00 01 00 00 00 00 00 01 00");
    ASSERT_EQ(ReadLE32(falseStart, 13), MAX_FRAME_PAYLOAD);
    Bytes stream = Concat({Noise(5), falseStart, kQuery, Noise(MAX_FRAME_SIZE, 3)});

    Bytes buffer;
    const size_t untilComplete = 5 + MAX_FRAME_SIZE;  // the false start's last byte
    EXPECT_TRUE(Feed(buffer, Bytes(stream.begin(), stream.begin() + untilComplete - 1)).empty());
    // The false start sits at the front, holding the real frame behind it.
    EXPECT_EQ(buffer.size(), MAX_FRAME_SIZE - 1);
    EXPECT_EQ(buffer[0], FRAME_MAGIC_0);

    const auto frames =
        Feed(buffer, Bytes(stream.begin() + untilComplete - 1, stream.begin() + untilComplete));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kQuery);
}

TEST(ExtractFrame, DeclaredLengthAbove64KiBIsNeverACandidate) {
    Bytes fake = BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, 3, Bytes(MAX_FRAME_PAYLOAD + 1, 0));
    Bytes buffer;
    // Even complete and correctly summed, the oversized frame is noise; the frame after it
    // comes out in the same pass without waiting.
    auto frames = Feed(buffer, Concat({Bytes(fake.begin(), fake.begin() + 40), kQuery}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kQuery);
    frames = Feed(buffer, fake);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(buffer.size(), 16u);
}

TEST(ExtractFrame, SameFramesWhateverTheReadSizes) {
    std::mt19937 rng(17);
    Bytes stream;
    std::vector<Bytes> sent;
    for (int k = 0; k < 40; ++k) {
        Bytes payload(rng() % 2000);
        for (auto& b : payload)
            b = static_cast<uint8_t>(rng());
        sent.push_back(BuildFrame(CHANNEL_TRANSFER, MIDDLE_PACKET, k, payload));
        const Bytes noise = Noise(rng() % 50, static_cast<uint8_t>(k));
        stream.insert(stream.end(), noise.begin(), noise.end());
        stream.insert(stream.end(), sent.back().begin(), sent.back().end());
    }
    for (size_t maxRead : {1, 7, 64, 8192}) {
        Bytes buffer;
        std::vector<Bytes> got;
        for (size_t pos = 0; pos < stream.size();) {
            const size_t n = std::min<size_t>(1 + rng() % maxRead, stream.size() - pos);
            auto frames = Feed(buffer, Bytes(stream.begin() + pos, stream.begin() + pos + n));
            got.insert(got.end(), frames.begin(), frames.end());
            pos += n;
            ASSERT_LT(buffer.size(), MAX_FRAME_SIZE);
        }
        EXPECT_EQ(got, sent) << maxRead;
    }
}

}  // namespace
}  // namespace zovrel
