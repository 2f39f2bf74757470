// The trace and report files of a run, checked against the HEX file and each
// other before anything is written.
#include "cli/OutputFiles.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tarvane {
namespace {

namespace fs = std::filesystem;

TEST(OutputFiles, ANumberedFileNamingTheHexFileOrAnotherBoardsFileIsRefused) {
    const test::ScratchDir scratch;
    const auto at = [&](const char* name) { return (scratch.path() / name).string(); };
    std::ofstream(at("fw-2.hex")) << ":00000001FF\n";
    std::ofstream(at("r-1.txt")) << "an earlier report\n";
    fs::create_hard_link(at("r-1.txt"), at("r-2.txt"));

    // The second board's trace would be the HEX file itself.
    EXPECT_EQ(outputFilesClash(at("fw-2.hex"), at("fw.hex"), "", 2, true),
              "--trace names the HEX file: " + at("fw-2.hex"));
    EXPECT_EQ(outputFilesClash(at("fw-2.hex"), at("fw.hex"), "", 1, false), "");
    // Two names, one file.
    EXPECT_EQ(outputFilesClash(at("fw-2.hex"), "", at("r.txt"), 2, true),
              "--report names one file for two boards: " + at("r-1.txt") + " and " + at("r-2.txt"));
    EXPECT_EQ(outputFilesClash(at("fw-2.hex"), at("t.txt"), at("q.txt"), 3, true), "");
#ifdef _WIN32
    // Names that differ only in case are one file on Windows, made or not.
    EXPECT_EQ(outputFilesClash(at("fw-2.hex"), at("Out.txt"), at("out.TXT"), 1, false),
              "--trace and --report name the same file: " + at("Out.txt"));
#endif
}

} // namespace
} // namespace tarvane
