// The production station: boards that arrive at different times, each
// updated once, one already holding the file, a failure with its report,
// and a stop that lets the update under way finish.
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarvane {
namespace {

namespace fs = std::filesystem;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kDisplayFile = (fs::path(TARVANE_SOURCE_DIR) / "examples" / "Tarvane_Display_Board_2064.hex").string();

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(Station, UpdatesBoardsAsTheyArriveEachOnceAndLeavesACurrentOneUntouched) {
    const fs::path dir = fs::path(testing::TempDir()) / "station-arrive";
    fs::remove_all(dir);
    fs::create_directories(dir);
    test::SimProcess fresh({"--log", (dir / "fresh.log").string()});
    test::SimProcess current({"--load", kDisplayFile, "--log", (dir / "current.log").string()});
    ASSERT_TRUE(fresh.started() && current.started());
    const std::string late = "tcp:127.0.0.1:" + std::to_string(test::freeLoopbackPort());

    // The third board is plugged in a while after the station started.
    std::atomic<bool> finished{false};
    std::jthread plugLater([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        test::SimProcess board({}, late.substr(4));
        while (!finished.load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    const test::ProcessResult r =
        test::runProcess(kUpdate, {"--board", "display", "--skip-current", "--station", kDisplayFile, "--device",
                                   fresh.address(), "--device", current.address(), "--device", late, "--count", "3"});
    finished.store(true);

    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[" + current.address() + "] The board already holds this file: nothing was written"),
              std::string::npos);
    EXPECT_NE(r.out.find("[" + current.address() + "] already current in"), std::string::npos);
    EXPECT_NE(r.out.find("[" + late + "] updated in"), std::string::npos);
    // The last line is the tally of all three; a board still plugged in is not updated again.
    EXPECT_TRUE(r.out.ends_with("updated 2, already current 1, failed 0\n")) << r.out;
    EXPECT_EQ(countOf(r.out, "[" + fresh.address() + "] updated in"), 1U);
    EXPECT_EQ(countOf(readFile(dir / "fresh.log"), "cmd=2 "), 1U);
    EXPECT_EQ(countOf(readFile(dir / "current.log"), "cmd=2 "), 0U);
}

TEST(Station, AStopLetsTheUpdateUnderWayFinishAndAFailureLeavesItsReport) {
    const fs::path reports = fs::path(testing::TempDir()) / "station-reports";
    fs::remove_all(reports);
    test::SimProcess failing(std::vector<std::string>{"--wrong-verify-crc"});
    test::SimProcess slow(std::vector<std::string>{"--usb-timing"});
    ASSERT_TRUE(failing.started() && slow.started());

    // Ctrl-C once the failure is counted, while the slow board still programs.
    const test::ProcessResult r = test::runProcess(
        kUpdate,
        {"--board", "display", "--json", "--station", kDisplayFile, "--device", failing.address(), "--device",
         slow.address(), "--report-dir", reports.string()},
        60, {.interruptAfter = R"("failed":1})"});

    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find(R"("result":"updated")"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with("{\"type\":\"tally\",\"updated\":1,\"current\":0,\"failed\":1}\n")) << r.out;
    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(reports)) written.push_back(entry.path());
    ASSERT_EQ(written.size(), 1U);
    EXPECT_TRUE(written[0].filename().string().ends_with("Z-tcp_127.0.0.1_" + std::to_string(failing.port()) + ".txt"))
        << written[0];
}

} // namespace
} // namespace tarvane
