#include "firmware/HexFileReader.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace tarvane {
namespace {

using Record = std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)>;

std::vector<std::uint8_t> readOne(HexFileReader& reader) {
    Record buf{};
    const std::uint16_t n = reader.readRecord(buf.data(), HexFileReader::kLineLimit);
    return {buf.begin(), buf.begin() + n};
}

class HexFileReaderTest : public ::testing::Test {
protected:
    // Opens `text` as a file's bytes; the reader is rewound, ready to read.
    void openText(const std::string& text) {
        ASSERT_TRUE(reader.open(std::make_shared<const std::string>(text)));
        reader.rewind();
    }

    HexFileReader reader;
};

TEST_F(HexFileReaderTest, HandsOutTheBytesTheDigitsSpell) {
    openText(":0400000000000000FC\n:0400000001020304f2\n");
    EXPECT_EQ(readOne(reader), (std::vector<std::uint8_t>{0x04, 0, 0, 0, 0, 0, 0, 0, 0xFC}));
    EXPECT_EQ(reader.linesConsumed(), 1u);
    // Lowercase digits convert like uppercase ones.
    EXPECT_EQ(readOne(reader), (std::vector<std::uint8_t>{0x04, 0, 0, 0, 1, 2, 3, 4, 0xF2}));
    EXPECT_EQ(reader.linesConsumed(), 2u);
    EXPECT_TRUE(readOne(reader).empty());
    EXPECT_EQ(reader.linesConsumed(), 2u);
}

TEST_F(HexFileReaderTest, EmptyLineEndsTheRecordsWithoutCounting) {
    openText(":00000001FF\n\n:00000001FF\n");
    EXPECT_EQ(readOne(reader).size(), 5u);
    EXPECT_TRUE(readOne(reader).empty());
    EXPECT_EQ(reader.linesConsumed(), 1u);
}

TEST_F(HexFileReaderTest, CountsLinesNotReads) {
    const std::string longRecord = test::hexRecordLine(0, 0, test::patternBytes(255, 1));
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"", 0},
        {":00000001FF", 1},
        {":0400000001020304F2\n:00000001FF\n", 2},
        {":0400000001020304F2\n:00000001FF", 2},
        {":0400000001020304F2\r\n:00000001FF\r\n", 2},
        {":00000001FF\n\n\n", 3},
        // A 260-byte record is one line of progress, however it is read.
        {longRecord + "\n" + longRecord + "\n:00000001FF\n", 3},
    };
    for (const auto& [text, lines] : cases) {
        ASSERT_TRUE(reader.open(std::make_shared<const std::string>(text)));
        EXPECT_EQ(reader.linesTotal(), lines) << text;
        EXPECT_EQ(reader.linesConsumed(), 0u);
    }
}

TEST_F(HexFileReaderTest, LongestRecordsAreReadWhole) {
    const auto data = test::patternBytes(255, 9);
    const std::string line = test::hexRecordLine(0, 0x1234, data);
    for (const char* eol : {"\n", "\r\n", ""}) {
        openText(line + eol + std::string(*eol ? ":00000001FF\n" : ""));
        const auto record = readOne(reader);
        ASSERT_EQ(record.size(), 260u) << "eol size " << std::string(eol).size();
        EXPECT_EQ(record[0], 255);
        EXPECT_EQ(record[1], 0x12);
        EXPECT_EQ(record[2], 0x34);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), record.begin() + 4));
    }
}

TEST_F(HexFileReaderTest, LastRecordIsNeverHandedOutTwice) {
    for (const char* text : {":0400000001020304F2\n:00000001FF\n", ":0400000001020304F2\n:00000001FF"}) {
        openText(text);
        EXPECT_EQ(readOne(reader).size(), 9u);
        EXPECT_EQ(readOne(reader).size(), 5u);
        EXPECT_TRUE(readOne(reader).empty());
        EXPECT_TRUE(readOne(reader).empty());
        EXPECT_EQ(reader.linesConsumed(), 2u);

        // Rewinding starts over; only the caller resets the progress count.
        reader.rewind();
        EXPECT_EQ(readOne(reader).size(), 9u);
        EXPECT_EQ(reader.linesConsumed(), 3u);
        reader.resetLinesConsumed();
        EXPECT_EQ(reader.linesConsumed(), 0u);
    }
}

TEST_F(HexFileReaderTest, OpenCloseAndFailure) {
    Record buf{};
    EXPECT_EQ(reader.readRecord(buf.data(), HexFileReader::kLineLimit), 0) << "no bytes";
    EXPECT_FALSE(reader.open(nullptr));

    // A second open replaces the first bytes.
    ASSERT_TRUE(reader.open(std::make_shared<const std::string>(":00000001FF\n")));
    ASSERT_TRUE(reader.open(std::make_shared<const std::string>(":0400000001020304F2\n:00000001FF\n")));
    EXPECT_EQ(reader.linesTotal(), 2u);
    reader.rewind();
    EXPECT_EQ(readOne(reader).size(), 9u);

    reader.close();
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.readRecord(buf.data(), HexFileReader::kLineLimit), 0);
}

} // namespace
} // namespace tarvane
