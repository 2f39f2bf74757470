// Runs tarvane-update --inspect on generated files and compares what it
// prints with the generator and, where it is installed, with srec_cat.
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace tarvane {
namespace {

const std::string kProgram = TARVANE_BIN_DIR "/tarvane-update";

test::ProcessResult inspect(const std::string& path) {
    return test::runProcess(kProgram, {"--inspect", path});
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string hexString(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

std::string expectedOutput(const test::HexExpectation& e) {
    return "start: " + hexString(e.start, 8) + "\nlength: " + hexString(e.length, 8) + "\ncrc: " +
           hexString(e.crc, 4) + "\nrecords: " + std::to_string(e.records) +
           "\ndata bytes: " + std::to_string(e.dataBytes) + "\n";
}

struct Shape {
    std::string name;
    std::vector<test::HexBlock> blocks;
    test::HexGenOptions options;
};

std::vector<Shape> variedShapes() {
    using test::patternBytes;
    const std::vector<test::HexBlock> program = {{0x1D000000, patternBytes(70000, 1)}};
    return {
        {"16-byte records", program, {}},
        {"255-byte records", program, {.bytesPerRecord = 255}},
        {"13-byte records, lowercase", program, {.bytesPerRecord = 13, .lowercase = true}},
        {"CRLF without final newline", program, {.crlf = true, .finalNewline = false}},
        {"segment records beside linear ones",
         {{0x00012345, patternBytes(3000, 2)}, {0x1D000000, patternBytes(5000, 3)}, {0x000F0000, patternBytes(900, 4)},
          {0x1D010000, patternBytes(64, 5)}},
         {.addressing = test::HexAddressing::Segment}},
        {"boot and configuration data beside the program",
         {{0x1FC00000, patternBytes(3000, 6)}, {0x1D000000, patternBytes(20000, 7)},
          {0x1FC02FF0, patternBytes(16, 8)}},
         {.bytesPerRecord = 32}},
        {"gaps and unaligned ends",
         {{0x1D000003, patternBytes(5, 9)}, {0x1D02000A, patternBytes(1001, 10)}, {0x1D07FFFF, patternBytes(1, 11)}},
         {.bytesPerRecord = 64}},
        {"addresses with the top bit set",
         {{0x9D000100, patternBytes(4000, 12)}, {0x9D040000, patternBytes(123, 13)}}, {}},
        {"start records and trailing empty lines", program,
         {.crlf = true, .startSegmentRecord = true, .startLinearRecord = true, .trailingEmptyLines = 2}},
        {"the last byte of the image", {{0x1D4FFFFD, patternBytes(3, 14)}}, {}},
        // More lines than a 16-bit counter holds.
        {"70000 records", {{0x1D000000, patternBytes(70000 * 16, 15)}}, {}},
    };
}

TEST(Inspect, AgreesWithTheGeneratorAndSrecCat) {
    test::ScratchDir dir;
    const std::string srecCat = test::findProgram("srec_cat");
    int index = 0;
    for (const Shape& shape : variedShapes()) {
        SCOPED_TRACE(shape.name);
        const auto file = test::generateHex(shape.blocks, shape.options);
        ASSERT_TRUE(file.expected.hasImageData);
        const std::string path = dir.write("shape" + std::to_string(index++) + ".hex", file.text);
        const auto r = inspect(path);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expectedOutput(file.expected));
        EXPECT_EQ(r.err, "");
        if (shape.name == "70000 records") {
            EXPECT_GT(file.expected.lines, 65535u);
        }

        if (srecCat.empty()) continue;
        // srec_cat knows nothing of the mapping: ask it in the file's own addresses.
        const bool topBitInFile = (shape.blocks.front().address & 0x80000000u) != 0;
        const std::uint32_t fileStart = topBitInFile ? file.expected.start : file.expected.start & 0x7FFFFFFFu;
        const auto reference = test::srecCatCrc16(srecCat, path, fileStart, file.expected.length);
        ASSERT_TRUE(reference.has_value()) << "srec_cat failed on " << path;
        EXPECT_EQ(*reference, file.expected.crc);
    }
    if (srecCat.empty()) GTEST_SKIP() << "srec_cat is not installed; compared with the generator only";
}

TEST(Inspect, RefusesEveryMalformedFile) {
    test::ScratchDir dir;
    const auto good = test::generateHex(
        {{0x1D000000, test::patternBytes(1000, 16)}, {0x1FC00000, test::patternBytes(16, 17)}}, {.crlf = true});
    const auto samples = test::malformedSamples(good);
    ASSERT_GE(samples.size(), 30u);
    int index = 0;
    for (const auto& bad : samples) {
        SCOPED_TRACE(bad.kind);
        const auto r = inspect(dir.write("bad" + std::to_string(index++) + ".hex", bad.text));
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.out, "");
        const auto err = linesOf(r.err);
        ASSERT_EQ(err.size(), 2u) << r.err;
        EXPECT_EQ(err[0], "error: Cannot load the HEX file.");
        if (bad.line != 0) {
            EXPECT_EQ(err[1].rfind("line " + std::to_string(bad.line) + ": ", 0), 0u) << err[1];
        }
        EXPECT_NE(err[1].find(bad.reasonHint), std::string::npos) << err[1];
    }
}

TEST(Inspect, MissingFileAndUnusualNames) {
    test::ScratchDir dir;
    const std::string missing = (dir.path() / "Display_Board_missing.hex").string();
    auto r = inspect(missing);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
    const auto err = linesOf(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "error: Cannot load the HEX file.");
    EXPECT_NE(err[1].find(missing), std::string::npos) << err[1];

    const auto file = test::generateHex({{0x1D000000, test::patternBytes(100, 18)}});
    for (const char* name : {"Prüfung/Display_Board_é.hex", "with space/Interface Board.hex", "日本/ボード.hex"}) {
        SCOPED_TRACE(name);
        r = inspect(dir.write(name, file.text));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expectedOutput(file.expected));
    }

    // A folder is not a file; an endless device is refused at its first line
    // instead of being read into memory.
    for (const std::string& notAFile : {dir.path().string(), std::string("/dev/zero")}) {
        r = test::runProcess(kProgram, {"--inspect", notAFile}, 10);
        EXPECT_EQ(r.exitCode, 3) << notAFile;
        EXPECT_EQ(linesOf(r.err).size(), 2u) << r.err;
    }
}

TEST(Inspect, HelpVersionAndUsage) {
    auto r = test::runProcess(kProgram, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--inspect"), std::string::npos) << r.out;

    r = test::runProcess(kProgram, {"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("tarvane-update ", 0), 0u) << r.out;

    EXPECT_EQ(test::runProcess(kProgram, {}).exitCode, 2);
    EXPECT_EQ(test::runProcess(kProgram, {"--no-such-option"}).exitCode, 2);
    EXPECT_EQ(test::runProcess(kProgram, {"--inspect"}).exitCode, 2);
}

} // namespace
} // namespace tarvane
