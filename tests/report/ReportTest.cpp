#include "report/ReportFile.h"
#include "report/Sha256.h"
#include "report/SupportReport.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tarvane {
namespace {

std::string sha256Of(std::string_view text) {
    Sha256 digest;
    digest.update(text);
    return hexDigest(digest.finish());
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

TEST(Sha256, GivesTheStandardDigestsFedInPiecesOfAnySize) {
    EXPECT_EQ(sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 448 bits: the padding no longer fits the block and takes another.
    EXPECT_EQ(sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // One million 'a' in pieces that cross the 64-byte blocks everywhere.
    const std::string a(1000000, 'a');
    Sha256 pieces;
    for (std::size_t at = 0, piece = 1; at < a.size(); at += piece, piece = piece % 97 + 1) {
        pieces.update(std::string_view(a).substr(at, piece));
    }
    EXPECT_EQ(hexDigest(pieces.finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(sha256Of(a), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SupportReport, HoldsEachSectionInOrderAndCarriesItsTraceForTheReplay) {
    const test::ScratchDir scratch;
    const test::GeneratedHex generated = test::generateHex({{0x9D000100, test::patternBytes(300, 7)}});
    const std::string hexPath = scratch.write("folder/board.hex", generated.text);
    const std::string trace = "# tarvane-trace 1\n# program: tarvane-updater 9.9.9\n# command: x\n# device: usb\n"
                              "# connection 1 opened\n# connection 1 closed\n";
    SupportReportFacts facts{"tarvane-updater 9.9.9", "Linux 6.1.0 x86_64", "Display board", "usb", hexPath,
                             // A log line that reads like a heading does not end the log.
                             "Display board selected\r\n\r\n[Trace]\r\n>> No Response from the device!\r\n", trace, nullptr};
    const std::string report = supportReportText(facts);
    const std::string expected = "Tarvane support report\n\n"
                                 "[Program]\ntarvane-updater 9.9.9\n\n"
                                 "[System]\nLinux 6.1.0 x86_64\n\n"
                                 "[Board]\nboard: Display board\ndevice: usb\n\n"
                                 "[HEX file]\nname: board.hex\n"
                                 "size: " + std::to_string(generated.text.size()) + " bytes\n"
                                 "sha-256: " + sha256Of(generated.text) + "\n"
                                 "start: " + hex(generated.expected.start, 8) + "\n"
                                 "length: " + hex(generated.expected.length, 8) + "\n"
                                 "crc: " + hex(generated.expected.crc, 4) + "\n\n"
                                 "[Log]\nDisplay board selected\n\n[Trace]\n>> No Response from the device!\n\n"
                                 "[Trace]\n" + trace;
    EXPECT_EQ(report, expected);
    // The file as the update read it, whatever became of it since.
    facts.hexFile = loadHexFile(hexPath);
    scratch.write("folder/board.hex", ":00000001FE\n");
    EXPECT_EQ(supportReportText(facts), expected);
    facts.hexFile = nullptr;

    const std::optional<ReportTrace> carried = reportTrace(report);
    ASSERT_TRUE(carried);
    EXPECT_EQ(carried->text, trace);
    EXPECT_EQ(carried->linesBefore, 27u);
    EXPECT_FALSE(reportTrace(trace));

    // The replay reads the report's trace, and names a fault by the report's line.
    const std::string saved = (scratch.path() / "report.txt").string();
    ASSERT_EQ(saveReportFile(saved, report), "");
    const TraceReading reading = readTraceOrReport(saved);
    ASSERT_TRUE(reading.ok()) << reading.error;
    EXPECT_EQ(reading.trace.connections.size(), 1u);
    ASSERT_EQ(saveReportFile(saved, report + "0.1 > 00\n"), "");
    EXPECT_EQ(readTraceOrReport(saved).errorLine, 34u);
    EXPECT_EQ(saveReportFile((scratch.path() / "missing" / "report.txt").string(), report),
              "No such file or directory");

    // A file that fails its check, and one that is gone, say why instead of a range.
    facts.hexPath = scratch.write("bad.hex", ":00000001FE\n");
    EXPECT_NE(supportReportText(facts).find("\ncheck: line 1: "), std::string::npos);
    facts.hexPath = (scratch.path() / "gone.hex").string();
    EXPECT_NE(supportReportText(facts).find("\nname: gone.hex\nsize: cannot open it: No such file or directory\n\n"),
              std::string::npos);

    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 9;
    local.tm_hour = 7;
    local.tm_min = 5;
    local.tm_sec = 3;
    EXPECT_EQ(supportReportFileName(local), "tarvane-report-20260109-070503.txt");
}

} // namespace
} // namespace tarvane
