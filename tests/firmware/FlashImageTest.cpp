#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFileReader.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvane {
namespace {

class FlashImageTest : public ::testing::Test {
protected:
    VerifyRange load(const std::string& text) {
        EXPECT_TRUE(reader.open(std::make_shared<const std::string>(text)));
        return loadImage(reader, image);
    }

    // Loads a generated file and compares the range with the generator's own.
    void expectAgreement(const test::GeneratedHex& file) {
        ASSERT_TRUE(checkHexText(file.text).ok) << checkHexText(file.text).describe();
        const VerifyRange range = load(file.text);
        EXPECT_EQ(range.start, file.expected.start);
        EXPECT_EQ(range.length, file.expected.length);
        EXPECT_EQ(range.crc, file.expected.crc);
    }

    bool erasedBetween(std::uint32_t from, std::uint32_t to) const {
        return std::all_of(image.data() + (from - kImageBase), image.data() + (to - kImageBase),
                           [](std::uint8_t b) { return b == 0xFF; });
    }

    test::ScratchDir dir;
    HexFileReader reader;
    static inline FlashImage image; // one 5 MiB picture for every case, as in the product
};

TEST_F(FlashImageTest, SmallestProgram) {
    const VerifyRange range = load(":020000041D00DD\n:0400000001020304F2\n:00000001FF\n");
    EXPECT_EQ(range, (VerifyRange{0x9D000000, 4, 0x0D03}));
    EXPECT_EQ(image.data()[0], 0x01);
    EXPECT_EQ(image.data()[3], 0x04);
    EXPECT_TRUE(erasedBetween(0x9D000004, kImageEnd));
    // It rewound the file itself and counted what it read.
    EXPECT_EQ(reader.linesConsumed(), 3u);
}

TEST_F(FlashImageTest, DataOutsideTheImageNeverWidensTheRange) {
    const VerifyRange alone = load(":020000041D00DD\n:0400000001020304F2\n:00000001FF\n");
    const std::string outside[] = {
        ":020000041FC01B\n:040000001122334452\n",  // boot flash at 0x1FC00000
        ":020000041CFFDF\n:04FFF0001122334463\n",  // just below the image
        ":020000041D508D\n:040000001122334452\n",  // from the image's end up
        ":020000040000FA\n:040010001122334442\n",  // low memory
        ":020000021000EC\n:040000001122334452\n",  // segment-addressed
    };
    for (const auto& before : outside) {
        for (const bool after : {false, true}) {
            std::string text = ":020000041D00DD\n:0400000001020304F2\n";
            text = after ? text + before : before + text;
            SCOPED_TRACE(text);
            ASSERT_TRUE(checkHexText(text + ":00000001FF\n").ok);
            EXPECT_EQ(load(text + ":00000001FF\n"), alone);
        }
    }
    // An end record clears both bases, so data after it lands at 0x80000000.
    EXPECT_EQ(load(":020000041D00DD\n:0400000001020304F2\n:00000001FF\n:040000001122334452\n"), alone);
}

TEST_F(FlashImageTest, RangeIsAlignedAndPaddedWithErasedBytes) {
    // Lowest address 0x9D000006 starts the range at 0x9D000004; an end at
    // 0x9D00000B rounds up to 0x9D00000C.
    const auto file = test::generateHex({{0x9D000006, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5}}});
    expectAgreement(file);
    EXPECT_EQ(file.expected.start, 0x9D000004u);
    EXPECT_EQ(file.expected.length, 8u);
    EXPECT_TRUE(erasedBetween(0x9D000004, 0x9D000006));
    EXPECT_TRUE(erasedBetween(0x9D00000B, kImageEnd));

    // A second load rebuilds the picture: nothing of the first file remains.
    load(":020000041D00DD\n:0400100001020304E2\n:00000001FF\n");
    EXPECT_TRUE(erasedBetween(kImageBase, 0x9D000010));
}

TEST_F(FlashImageTest, NoImageDataGivesAnEmptyRange) {
    EXPECT_TRUE(load(":020000041FC01B\n:040000001122334452\n:00000001FF\n").empty());
    EXPECT_TRUE(load("").empty());
}

TEST_F(FlashImageTest, AgreesWithTheGeneratorOnManyShapes) {
    const std::vector<std::vector<test::HexBlock>> layouts = {
        {{0x1D000000, test::patternBytes(4096, 1)}},
        {{0x9D000000, test::patternBytes(300, 2)}, {0x9D000400, test::patternBytes(77, 3)}},
        {{0x1D00FFF0, test::patternBytes(64, 4)}},        // across a 64 KiB boundary
        {{0x1D4FFF00, test::patternBytes(256, 5)}},       // up to the very end
        {{0x1D000001, {0x5A}}, {0x1D4FFFFE, {0xA5}}},     // widest possible range
        {{0x1FC00000, test::patternBytes(3000, 6)}, {0x1D020002, test::patternBytes(1001, 7)},
         {0x1FC02FF0, test::patternBytes(16, 8)}},
        {{0x00000100, test::patternBytes(500, 9)}, {0x1D000010, test::patternBytes(500, 10)},
         {0x0000F000, test::patternBytes(9000, 11)}, {0x1D100000, test::patternBytes(33, 12)}},
    };
    const std::vector<test::HexGenOptions> options = {
        {},
        {.bytesPerRecord = 255, .crlf = true},
        {.bytesPerRecord = 122}, // the first length a 255-character read would cut
        {.bytesPerRecord = 7, .lowercase = true, .finalNewline = false},
        {.addressing = test::HexAddressing::Segment, .startSegmentRecord = true, .startLinearRecord = true},
    };
    for (std::size_t l = 0; l < layouts.size(); ++l) {
        for (std::size_t o = 0; o < options.size(); ++o) {
            SCOPED_TRACE("layout " + std::to_string(l) + " options " + std::to_string(o));
            const auto file = test::generateHex(layouts[l], options[o]);
            expectAgreement(file);
            EXPECT_EQ(reader.linesConsumed(), file.expected.records);
        }
    }
}

} // namespace
} // namespace tarvane
