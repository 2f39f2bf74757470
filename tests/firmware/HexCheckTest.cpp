#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFile.h"
#include "firmware/HexFileReader.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <array>

namespace tarvane {
namespace {

test::GeneratedHex typicalFile(const test::HexGenOptions& options = {}) {
    return test::generateHex({{0x1D000000, test::patternBytes(600, 1)}, {0x1D001000, test::patternBytes(37, 2)}},
                             options);
}

// A shape of `plain` passes, counts, programs and verifies as `plain` does,
// with `lines` lines of progress.
void expectTakenAsPlain(const test::GeneratedHex& plain, const std::string& text, std::uint32_t lines) {
    const HexCheckResult check = checkHexText(text);
    EXPECT_TRUE(check.ok) << check.describe();
    EXPECT_EQ(check.records, plain.expected.records);
    HexFileReader reader;
    ASSERT_TRUE(reader.open(std::make_shared<const std::string>(text)));
    EXPECT_EQ(reader.linesTotal(), lines);
    reader.rewind();
    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record{};
    std::uint32_t records = 0;
    while (reader.readRecord(record.data(), HexFileReader::kLineLimit) != 0) ++records;
    EXPECT_EQ(records, plain.expected.records);
    EXPECT_EQ(reader.linesConsumed(), records);
    const VerifyRange expected{plain.expected.start, plain.expected.length, plain.expected.crc};
    EXPECT_EQ(check.range, expected);
    FlashImage image;
    EXPECT_EQ(loadImage(reader, image), expected);
}

TEST(HexCheck, RefusesEveryMalformedKindAtItsLine) {
    const std::vector<test::GeneratedHex> bases = {
        typicalFile(),
        typicalFile({.lowercase = true, .crlf = true}),
        typicalFile({.bytesPerRecord = 255, .finalNewline = false}),
        typicalFile({.trailingEmptyLines = 2}),
    };
    for (const auto& base : bases) {
        ASSERT_TRUE(checkHexText(base.text).ok);
        const auto samples = test::malformedSamples(base);
        ASSERT_GE(samples.size(), 30u);
        for (const auto& bad : samples) {
            SCOPED_TRACE(bad.kind);
            const HexCheckResult r = checkHexText(bad.text);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.line, bad.line);
            EXPECT_NE(r.reason.find(bad.reasonHint), std::string::npos) << r.reason;
            const std::string described = r.describe();
            if (bad.line != 0) {
                EXPECT_EQ(described.rfind("line " + std::to_string(bad.line) + ": ", 0), 0u) << described;
            }
        }
    }
}

TEST(HexCheck, ReasonsSayWhatIsWrong) {
    const auto r = checkHexText(":0400000001020304F3\n:00000001FF\n");
    EXPECT_EQ(r.describe(), "line 1: checksum is 0xF3, the record needs 0xF2");
    EXPECT_EQ(checkHexText(":0400000001020304F2X\n").describe(),
              "line 1: column 20: 'X' is not a hexadecimal digit");
    EXPECT_EQ(checkHexText(":0300000001020304F2\n").describe(),
              "line 1: length byte says 3 data bytes, the line holds 4");
}

TEST(HexCheck, AcceptsWhatBoardsAndToolsReallyProduce) {
    const std::vector<test::HexBlock> program = {{0x1D000000, test::patternBytes(600, 3)},
                                                 {0x1D010000, test::patternBytes(16, 4)}};
    const std::vector<test::HexBlock> withBootAndConfig = {
        {0x1D000000, test::patternBytes(64, 5)},
        {0x1FC00000, test::patternBytes(96, 6)}, // boot flash
        {0x1FC02FF0, test::patternBytes(16, 7)}, // configuration words
        {0x00001000, test::patternBytes(8, 8)},  // below the flash altogether
        {0x1D600000, test::patternBytes(8, 9)},  // past the image, below the boot area
    };
    const std::vector<test::HexBlock> gapped = {{0x9D000003, test::patternBytes(5, 10)},
                                                {0x9D080001, test::patternBytes(3, 11)},
                                                {0x9D4FFFF0, test::patternBytes(16, 12)}};
    const std::vector<test::HexGenOptions> options = {
        {},
        {.lowercase = true},
        {.crlf = true},
        {.finalNewline = false},
        {.trailingEmptyLines = 3},
        {.crlf = true, .trailingEmptyLines = 1},
        {.bytesPerRecord = 255},
        {.bytesPerRecord = 1},
        {.addressing = test::HexAddressing::Segment, .startSegmentRecord = true},
        {.startLinearRecord = true},
    };
    for (const auto& blocks : {program, withBootAndConfig, gapped}) {
        for (const auto& o : options) {
            const auto file = test::generateHex(blocks, o);
            const HexCheckResult r = checkHexText(file.text);
            ASSERT_TRUE(r.ok) << r.describe() << "\n" << file.text.substr(0, 400);
            EXPECT_EQ(r.records, file.expected.records);
            EXPECT_EQ(r.dataBytes, file.expected.dataBytes);
        }
    }
    // Segment-addressed data beside program data.
    const auto mixed = test::generateHex(
        {{0x00012345, test::patternBytes(40, 13)}, {0x1D000000, test::patternBytes(40, 14)},
         {0x000F0000, test::patternBytes(40, 15)}},
        {.addressing = test::HexAddressing::Segment});
    EXPECT_TRUE(checkHexText(mixed.text).ok);
}

TEST(HexCheck, FileLevelFaults) {
    test::ScratchDir dir;
    const auto missing = loadHexFile((dir.path() / "nothing-here.hex").string())->check;
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.line, 0u);
    EXPECT_NE(missing.reason.find("cannot open"), std::string::npos) << missing.reason;
    EXPECT_TRUE(missing.unreadable);

    const auto good = typicalFile({.crlf = true});
    const auto onDisk = loadHexFile(dir.write("Prüfung/Display_Board_é.hex", good.text))->check;
    EXPECT_TRUE(onDisk.ok) << onDisk.describe();
    EXPECT_EQ(onDisk.records, good.expected.records);

    const auto bad = test::malformedSamples(good).front();
    const auto badOnDisk = loadHexFile(dir.write("bad.hex", bad.text))->check;
    EXPECT_FALSE(badOnDisk.ok);
    EXPECT_EQ(badOnDisk.line, bad.line);
    EXPECT_FALSE(badOnDisk.unreadable);
}

TEST(HexCheck, ACtrlZEndsTheTextAndBlanksMayFollowARecord) {
    const auto good = typicalFile();
    const std::string unended = typicalFile({.finalNewline = false}).text;
    const std::uint32_t last = good.expected.lines;

    std::string blanks;
    for (const char c : good.text) blanks += c == '\n' ? std::string(" \t \n") : std::string(1, c);
    const std::pair<std::string, std::uint32_t> shapes[] = {
        {good.text + "\x1A\x1A\x1A\x1A", last},                 // block padding
        {unended + "\x1A", last},                                 // straight after the checksum
        {good.text + "\x1A?\n:0400000001020304F2\n", last},        // text after the mark
        {unended + "\x1A:0400000001020304F2\n", last},             // even a record on the same line
        {good.text + "   \n\t\n", last + 2},                       // blank lines
        {blanks, last},                                           // blanks after every record
    };
    for (const auto& [text, lines] : shapes) {
        SCOPED_TRACE(::testing::PrintToString(text.substr(text.size() - 12)));
        expectTakenAsPlain(good, text, lines);
    }
    // Anything else after the end-of-file record is still refused at its line,
    // and a record after a blank line too.
    EXPECT_EQ(checkHexText(good.text + "\n end\n").line, last + 2);
    EXPECT_EQ(checkHexText(good.text + "  \n:00000001FF\n").line, last + 1);
    // Before the end-of-file record a blank line is no record at all.
    EXPECT_FALSE(checkHexText(" \n" + good.text).ok);
}

TEST(HexCheck, ACtrlZAheadOfTheEndOfFileRecordIsRefusedAtItsLine) {
    const auto good = typicalFile();
    const std::uint32_t eofLine = good.expected.lines;
    const std::string body = good.text.substr(0, good.text.rfind(":00000001FF"));
    const std::string lastData = test::splitLines(body).back();
    const std::string notARecord = "the line is not a record (it does not begin with ':')";
    const struct {
        std::string text;
        std::string described;
    } cases[] = {
        {body + "\x1A", "line " + std::to_string(eofLine) + ": " + notARecord},
        {body + "\x1A:00000001FF\n", "line " + std::to_string(eofLine) + ": " + notARecord},
        {"\x1A" + good.text, "line 1: " + notARecord},
        {body.substr(0, body.size() - 1) + " \t\x1A\n:00000001FF\n",
         "line " + std::to_string(eofLine - 1) + ": column " + std::to_string(lastData.size() + 3) +
             ": byte 0x1A is not a hexadecimal digit"},
        // A fault ahead of the mark is still the one named.
        {body + ":04001000\x1A",
         "line " + std::to_string(eofLine) + ": too short for a record (4 bytes, at least 5 needed)"},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(checkHexText(c.text).describe(), c.described);
        EXPECT_EQ(loadHexFile(dir.write("marked.hex", c.text))->check.describe(), c.described);
    }
    // Without a mark, a file cut short is the file's fault, not a line's.
    EXPECT_EQ(checkHexText(body).line, 0u);
}

TEST(HexCheck, BlankTailsOfAnyLengthLeaveEveryRecordInPlace) {
    const auto good = typicalFile();
    const auto lines = test::splitLines(good.text);
    const std::uint32_t middle = good.expected.dataLines[good.expected.dataLines.size() / 2];
    const std::string& record = lines[middle - 1];
    // Whole lines of 993 to 996 characters straddle a read of the reader's
    // limit, 1024 is the longest the check holds.
    for (const std::size_t length : {993u, 994u, 995u, 996u, 1024u}) {
        for (const std::string eol : {"", "\r"}) {
            for (const char blank : {' ', '\t'}) {
                SCOPED_TRACE(std::to_string(length) + (eol.empty() ? " LF, " : " CR LF, ") +
                             (blank == ' ' ? "spaces" : "tabs"));
                const std::string padded = record + std::string(length - record.size() - eol.size(), blank) + eol;
                expectTakenAsPlain(good, test::replaceLine(good.text, middle, padded), good.expected.lines);
            }
        }
    }
    // The padded end-of-file record, a Ctrl-Z far past the reader's limit.
    std::string text = good.text.substr(0, good.text.size() - 1) + std::string(1000, ' ') + "\x1A\n:garbage";
    expectTakenAsPlain(good, text, good.expected.lines);
}

TEST(HexCheck, FileIsJudgedExactlyLikeItsText) {
    // Files far larger than one read, so lines straddle the reads at many places.
    const auto program = std::vector<test::HexBlock>{{0x1D000000, test::patternBytes(150000, 20)}};
    const std::vector<test::GeneratedHex> bases = {
        test::generateHex(program),
        test::generateHex(program, {.bytesPerRecord = 255, .crlf = true, .finalNewline = false}),
        test::generateHex(program, {.bytesPerRecord = 97, .trailingEmptyLines = 2}),
    };
    test::ScratchDir dir;
    for (const auto& base : bases) {
        auto samples = test::malformedSamples(base);
        samples.push_back({"the good file itself", base.text, 0, ""});
        for (const auto& sample : samples) {
            SCOPED_TRACE(sample.kind);
            const HexCheckResult fromText = checkHexText(sample.text);
            const HexCheckResult fromFile = loadHexFile(dir.write("same.hex", sample.text))->check;
            EXPECT_EQ(fromFile.ok, fromText.ok);
            EXPECT_EQ(fromFile.describe(), fromText.describe());
            EXPECT_EQ(fromFile.records, fromText.records);
            EXPECT_EQ(fromFile.dataBytes, fromText.dataBytes);
        }
    }
}

TEST(HexCheck, EndlessLinesAreJudgedByTheirStart) {
    test::ScratchDir dir;
    const std::string digits(3'000'000, '0');
    const std::string eof = "\n:00000001FF\n";
    const struct {
        std::string text;
        std::string described;
    } cases[] = {
        {":" + digits + eof, "line 1: too long for a record (more than 1024 characters)"},
        {":" + digits.substr(0, 600) + "z" + digits + eof, "line 1: column 602: 'z' is not a hexadecimal digit"},
        {std::string(200'000, '\0'), "line 1: the line is not a record (it does not begin with ':')"},
        {":00000001FF\n" + std::string(200'000, ' '), "line 2: the line is not a record (it does not begin with ':')"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkHexText(c.text).describe(), c.described);
        EXPECT_EQ(loadHexFile(dir.write("endless.hex", c.text))->check.describe(), c.described);
    }
}

} // namespace
} // namespace tarvane
