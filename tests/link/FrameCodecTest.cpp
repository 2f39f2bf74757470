#include "link/FrameCodec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tarvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using LinkDecoder = FrameDecoder<256, 253>;

Bytes encode(Bytes payload) {
    payload.resize(payload.size() + 2);
    Bytes out(1000);
    out.resize(encodeFrame(payload.data(), payload.size() - 2, out.data(), out.size()));
    return out;
}

Bytes received(const LinkDecoder& d) { return Bytes(d.received().begin(), d.received().end()); }

TEST(FrameCodec, EncodesWithCrcAndEscapes) {
    EXPECT_EQ(encode({0x01}), (Bytes{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04}));
    EXPECT_EQ(encode({0x05}), (Bytes{0x01, 0x05, 0xA5, 0x50, 0x04}));
    // A frame that cannot fit is refused rather than written past the buffer.
    Bytes payload(600, 0x10);
    Bytes out(1000);
    EXPECT_EQ(encodeFrame(payload.data(), 598, out.data(), out.size()), 0u);
}

TEST(FrameCodec, DecodesCompleteFramesOnly) {
    LinkDecoder d;
    const Bytes frame{0x01, 0x05, 0xA5, 0x50, 0x04};
    d.decodeBytes(frame.data(), frame.size());
    ASSERT_TRUE(d.frameComplete());
    EXPECT_EQ(received(d), (Bytes{0x05, 0xA5, 0x50}));
    // Handed out once, without its CRC; the next frame then decodes.
    const auto payload = d.take();
    EXPECT_EQ(Bytes(payload.begin(), payload.end()), Bytes{0x05});
    EXPECT_TRUE(d.take().empty());
    const Bytes next = encode({0x02, 0x07});
    d.decodeBytes(next.data(), next.size());
    const auto taken = d.take();
    EXPECT_EQ(Bytes(taken.begin(), taken.end()), (Bytes{0x02, 0x07}));

    for (const Bytes& bad : {Bytes{0x01, 0x04}, Bytes{0x01, 0xA5, 0x50, 0x04}, Bytes{0x01, 0x05, 0xA5, 0x51, 0x04}}) {
        LinkDecoder e;
        e.decodeBytes(bad.data(), bad.size());
        EXPECT_FALSE(e.frameComplete());
    }
}

TEST(FrameCodec, EscapeSurvivesReportBoundaryAndCrcFailureKeepsAccumulating) {
    // Payload 04 04 needs escapes; cut the frame right after a DLE.
    const Bytes frame = encode({0x04, 0x04});
    const auto cut = std::find(frame.begin() + 1, frame.end(), DLE) + 1;
    LinkDecoder d;
    d.decodeBytes(frame.data(), static_cast<std::size_t>(cut - frame.begin()));
    EXPECT_TRUE(d.escapePending());
    d.decodeBytes(&*cut, static_cast<std::size_t>(frame.end() - cut));
    ASSERT_TRUE(d.frameComplete());
    EXPECT_EQ(d.received()[0], 0x04);
    EXPECT_EQ(d.received()[1], 0x04);

    // A frame whose SOH was lost lands on the garbage before it and fails; the next SOH starts clean.
    LinkDecoder e;
    Bytes garbage{0x33, 0x44};
    const Bytes good = encode({0x02});
    Bytes stream = garbage;
    stream.insert(stream.end(), good.begin() + 1, good.end());
    e.decodeBytes(stream.data(), stream.size());
    EXPECT_FALSE(e.frameComplete());
    e.decodeBytes(good.data(), good.size());
    EXPECT_TRUE(e.frameComplete());
}

TEST(FrameCodec, OverlongInputRestartsAndBytesAfterACompleteFrameAreDropped) {
    LinkDecoder d;
    Bytes noise(600, 0x55);
    d.decodeBytes(noise.data(), noise.size());
    EXPECT_LT(d.received().size(), 253u);
    EXPECT_FALSE(d.frameComplete());

    Bytes two = encode({0x01, 0x07});
    const Bytes second = encode({0x02});
    two.insert(two.end(), second.begin(), second.end());
    LinkDecoder e;
    e.decodeBytes(two.data(), two.size());
    ASSERT_TRUE(e.frameComplete());
    EXPECT_EQ(e.received()[0], 0x01);
    EXPECT_EQ(e.received().size(), 4u);
}

TEST(FrameCodec, RandomPayloadsRoundTripThroughReportsOfAnySplit) {
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        Bytes payload(1 + rng() % 120);
        // Weight control bytes heavily so escaping is exercised on every frame.
        for (auto& b : payload) b = (rng() % 3 == 0) ? std::array<std::uint8_t, 3>{SOH, EOT, DLE}[rng() % 3]
                                                        : static_cast<std::uint8_t>(rng());
        const Bytes frame = encode(payload);
        LinkDecoder d;
        std::size_t pos = 0;
        while (pos < frame.size()) {
            const std::size_t step = std::min<std::size_t>(1 + rng() % 64, frame.size() - pos);
            d.decodeBytes(frame.data() + pos, step);
            pos += step;
        }
        ASSERT_TRUE(d.frameComplete()) << "round " << round;
        const auto taken = d.take();
        ASSERT_EQ(Bytes(taken.begin(), taken.end()), payload);
    }
}

} // namespace
} // namespace tarvane
