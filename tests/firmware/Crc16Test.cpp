#include "firmware/Crc16.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tarvane {
namespace {

TEST(Crc16, KnownValues) {
    constexpr std::string_view check = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(crc16(bytes, check.size()), 0x31C3);
    EXPECT_EQ(crc16Nibble(bytes, check.size()), 0x31C3);

    const std::uint8_t image[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(crc16(image, sizeof image), 0x0D03);
    EXPECT_EQ(crc16(image, 0), 0x0000);
}

TEST(Crc16, TableNibbleAndBitwiseFormsAgree) {
    const auto data = test::patternBytes(70000, 42);
    for (std::size_t length : {1u, 2u, 3u, 15u, 16u, 17u, 255u, 256u, 1000u, 4095u, 65535u, 65536u, 70000u}) {
        const std::uint16_t expected = test::referenceCrc16(data.data(), length);
        EXPECT_EQ(crc16(data.data(), length), expected) << length;
        EXPECT_EQ(crc16Nibble(data.data(), length), expected) << length;
    }
    for (std::uint32_t seed = 1; seed < 200; ++seed) {
        const auto small = test::patternBytes(seed % 61, seed);
        const std::uint16_t expected = test::referenceCrc16(small.data(), small.size());
        ASSERT_EQ(crc16(small.data(), small.size()), expected) << seed;
        ASSERT_EQ(crc16Nibble(small.data(), small.size()), expected) << seed;
    }
}

TEST(Crc16, ContinuesARunningComputation) {
    const auto data = test::patternBytes(5000, 7);
    const std::uint16_t whole = crc16(data.data(), data.size());
    for (std::size_t split : {0u, 1u, 333u, 4999u, 5000u}) {
        EXPECT_EQ(crc16(data.data() + split, data.size() - split, crc16(data.data(), split)), whole) << split;
        EXPECT_EQ(crc16Nibble(data.data() + split, data.size() - split, crc16Nibble(data.data(), split)), whole)
            << split;
    }
}

} // namespace
} // namespace tarvane
