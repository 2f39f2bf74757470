// tarvane-update --verify-only against tarvane-sim: it compares the board
// with the file and leaves the board as it was.
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::splitLines;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const fs::path kExamples = fs::path(TARVANE_SOURCE_DIR) / "examples";
const std::string kDisplayFile = (kExamples / "Tarvane_Display_Board_2064.hex").string();
const std::string kInterfaceFile = (kExamples / "Tarvane_Interface_Board_2048.hex").string();

TEST(VerifyOnly, SaysWhetherTheBoardHoldsTheFileWithoutErasingOrProgramming) {
    test::ScratchDir scratch;
    const fs::path log = scratch.path() / "sim.log";
    test::SimProcess sim({"--log", log.string()});
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto verify = [&](const std::string& file, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--verify-only", "--board", "display", "--device", sim.address(), file};
        args.insert(args.begin(), extra.begin(), extra.end());
        return test::runProcess(kUpdate, args);
    };
    ASSERT_EQ(test::runProcess(kUpdate, {"--board", "display", "--device", sim.address(), kDisplayFile}).exitCode, 0);
    const std::size_t updateRequests = test::readRequestLog(log).size();

    const auto held = verify(kDisplayFile);
    EXPECT_EQ(held.exitCode, 0) << held.err;
    EXPECT_EQ(splitLines(held.out), (Lines{"Display board selected", "HEX file selected",
                                           "Verifying the board against the file (no erase)", "Connecting...",
                                           "Connected", "Verification successful"}));
    const auto json = verify(kDisplayFile, {"--json"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find(R"({"type":"result","result":"verified","exitStatus":0,)"), std::string::npos)
        << json.out;

    const auto other = verify(kInterfaceFile);
    EXPECT_EQ(other.exitCode, 1);
    const Lines otherLines = splitLines(other.out);
    ASSERT_GE(otherLines.size(), 3u);
    EXPECT_EQ(Lines(otherLines.end() - 3, otherLines.end()),
              (Lines{"", ">> Verification failed!", ">> The board does not hold this file"}));

    // Three runs, each a query and a verify request: nothing else reached the board.
    const auto requests = test::readRequestLog(log);
    ASSERT_EQ(requests.size(), updateRequests + 6);
    for (std::size_t i = updateRequests; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].command, (i - updateRequests) % 2 == 0 ? 1 : 4);
    }

    test::SimProcess silent({"--silent", "verify"});
    ASSERT_TRUE(silent.started()) << silent.error();
    const auto none = test::runProcess(kUpdate, {"--verify-only", "--board", "display", "--device", silent.address(),
                                                 kDisplayFile});
    EXPECT_EQ(none.exitCode, 1);
    const Lines lines = splitLines(none.out);
    ASSERT_GE(lines.size(), test::noResponseLog().size());
    EXPECT_EQ(Lines(lines.end() - static_cast<long>(test::noResponseLog().size()), lines.end()), test::noResponseLog());
}

} // namespace
} // namespace tarvane
