// The production-line side of tarvane-update: --json output a script can
// parse, and --wait for a board plugged in after the command starts.
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kDisplayFile =
    (std::filesystem::path(TARVANE_SOURCE_DIR) / "examples" / "Tarvane_Display_Board_2064.hex").string();

std::vector<nlohmann::json> parseLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(nlohmann::json::parse(line, nullptr, false));
        EXPECT_FALSE(objects.back().is_discarded()) << "not JSON: " << line;
    }
    return objects;
}

void expectWellFormedRun(const std::vector<nlohmann::json>& objects, int exitCode) {
    ASSERT_FALSE(objects.empty());
    std::map<std::string, double> lastDone;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const auto& o = objects[i];
        ASSERT_TRUE(o.contains("type")) << o.dump();
        const std::string type = o["type"];
        EXPECT_TRUE(type == "log" || type == "progress" || type == "error" || type == "result") << type;
        EXPECT_EQ(type == "result", i + 1 == objects.size()) << "the result comes last, once";
        if (type == "progress") {
            const std::string phase = o["phase"];
            const double done = o["done"];
            EXPECT_LE(done, o["total"].get<double>());
            if (lastDone.count(phase)) {
                EXPECT_GE(done, lastDone[phase]) << phase << " went backwards";
            }
            lastDone[phase] = done;
        }
    }
    const auto& result = objects.back();
    EXPECT_EQ(result["exitStatus"], exitCode);
    EXPECT_EQ(result["result"], exitCode == 0 ? "updated" : "failed");
}

TEST(JsonOutput, AnUpdateIsValidJsonLineByLineEndingInItsResult) {
    test::SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto r = test::runProcess(kUpdate, {"--json", "--board", "display", "--device", sim.address(), kDisplayFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto objects = parseLines(r.out);
    expectWellFormedRun(objects, r.exitCode);
    std::vector<std::string> logs;
    for (const auto& o : objects) {
        if (o["type"] == "log") logs.push_back(o["text"]);
    }
    EXPECT_EQ(logs.front(), "Display board selected");
    EXPECT_EQ(logs.back(), "c) Push the POWER button to power up the Tarvane");
    const auto& result = objects.back();
    EXPECT_EQ(result["start"], "0x9D000000");
    EXPECT_EQ(result["dataBytes"], 49168);
    EXPECT_GT(result["seconds"].get<double>(), 1.0);
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(JsonOutput, FailuresAreReportedAsErrorsAndAFailedResult) {
    test::SimProcess sim({"--silent", "erase"});
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto r = test::runProcess(kUpdate, {"--json", "--board", "interface", "--device", sim.address(), kDisplayFile});
    EXPECT_EQ(r.exitCode, 1);
    expectWellFormedRun(parseLines(r.out), r.exitCode);

    const auto none = test::runProcess(kUpdate, {"--json", "--board", "display", "--device", "tcp:127.0.0.1:1", kDisplayFile});
    EXPECT_EQ(none.exitCode, 4);
    const auto objects = parseLines(none.out);
    expectWellFormedRun(objects, none.exitCode);
    bool sawError = false;
    for (const auto& o : objects) sawError |= o["type"] == "error" && o["text"] == "Device not found";
    EXPECT_TRUE(sawError);
}

TEST(WaitForBoard, GivesUpAfterTheTimeWithDeviceNotFound) {
    const std::string address = "tcp:127.0.0.1:" + std::to_string(test::freeLoopbackPort());
    const auto t0 = Clock::now();
    const auto r = test::runProcess(kUpdate, {"--wait", "2", "--board", "display", "--device", address, kDisplayFile});
    const auto took = Clock::now() - t0;
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("Waiting up to 2 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("error: Device not found"), std::string::npos);
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 4s);
}

TEST(WaitForBoard, PicksUpABoardThatAppearsAfterTheCommandStarts) {
    const std::uint16_t port = test::freeLoopbackPort();
    const std::string address = "tcp:127.0.0.1:" + std::to_string(port);
    auto update = std::async(std::launch::async, [&] {
        return test::runProcess(kUpdate, {"--wait", "10", "--board", "interface", "--device", address, kDisplayFile});
    });
    std::this_thread::sleep_for(1s);
    test::SimProcess sim({}, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto r = update.get();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("=== UPGRADE COMPLETE ==="), std::string::npos);
}

} // namespace
} // namespace tarvane
