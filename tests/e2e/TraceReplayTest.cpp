// --trace, --report and tarvane-sim --replay: a traced update, or the report
// of a failed one, replays to the same log and exit status, and each trace in
// tests/e2e/traces/ is a recorded failure that must replay as it happened.
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "trace/TraceFormat.h"
#include "trace/TraceReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvane {
namespace {

namespace fs = std::filesystem;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kSim = std::string(TARVANE_BIN_DIR) + "/tarvane-sim";
const fs::path kTraces = fs::path(TARVANE_SOURCE_DIR) / "tests" / "e2e" / "traces";
const std::string kSmallFile = (kTraces / "small.hex").string();

std::string readText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// An update of `board` with `file` against tarvane-sim started with `simOptions`.
test::ProcessResult updateAgainst(const std::vector<std::string>& simOptions, const std::string& board,
                                  const std::string& file, std::vector<std::string> extra = {}) {
    test::SimProcess sim(simOptions);
    EXPECT_TRUE(sim.started()) << sim.error();
    std::vector<std::string> args{"--board", board, "--device", sim.address(), file};
    args.insert(args.begin(), extra.begin(), extra.end());
    return test::runProcess(kUpdate, args, 60);
}

TEST(Trace, ASuccessfulUpdateIsTracedBothWaysAndReplaysToSuccess) {
    const test::ScratchDir scratch;
    const std::string trace = (scratch.path() / "update.trace").string();
    const test::ProcessResult recorded = updateAgainst({}, "interface", kSmallFile, {"--trace", trace});
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;

    const TraceReading reading = readTraceFile(trace);
    ASSERT_TRUE(reading.ok()) << reading.errorLine << ": " << reading.error;
    const auto& header = reading.trace.header;
    ASSERT_EQ(header.size(), 3u);
    EXPECT_EQ(header[0].rfind("# program: tarvane-update ", 0), 0u);
    EXPECT_NE(header[1].find(" --trace " + trace + " "), std::string::npos) << header[1];
    EXPECT_EQ(header[2].rfind("# device: tcp:127.0.0.1:", 0), 0u);
    ASSERT_EQ(reading.trace.connections.size(), 1u);
    std::size_t toBoard = 0;
    std::size_t toHost = 0;
    for (const TracedReport& report : reading.trace.connections[0].reports) {
        (report.direction == kToBoard ? toBoard : toHost) += 1;
    }
    // Program batches take several reports each; every request has its answer.
    EXPECT_GT(toBoard, toHost);
    EXPECT_GE(toHost, 5u);

    const test::ProcessResult replayed = updateAgainst({"--replay", trace}, "interface", kSmallFile);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out);

    // A trace that cannot be written stops the command before the board hears anything.
    const fs::path log = scratch.path() / "sim.log";
    const std::string nowhere = (scratch.path() / "missing" / "update.trace").string();
    const test::ProcessResult refused =
        updateAgainst({"--log", log.string()}, "display", kSmallFile, {"--trace", nowhere});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(test::splitLines(refused.err).at(0),
              "error: cannot write the trace file " + nowhere + ": No such file or directory");
    EXPECT_EQ(readText(log), "");
}

TEST(Report, AFailedUpdatesReportHoldsItsLogAndReplaysToItAndOneThatCannotBeWrittenStopsTheCommand) {
    const test::ScratchDir scratch;
    const std::string report = (scratch.path() / "failed.txt").string();
    const test::ProcessResult recorded =
        updateAgainst({"--silent", "erase"}, "display", kSmallFile, {"--report", report});
    ASSERT_EQ(recorded.exitCode, 1) << recorded.err;

    const std::string text = readText(report);
    std::size_t at = 0;
    // Each section in order; the log is the one printed, line for line, and the trace follows it.
    for (const std::string& heading :
         std::vector<std::string>{"[Program]\ntarvane-update ", "[System]\n", "[Board]\nboard: Display board\n",
                                  "[HEX file]\nname: small.hex\n",
                                  "[Log]\n" + recorded.out + "\n[Trace]\n# tarvane-trace 1\n"}) {
        const std::size_t found = text.find("\n" + heading, at);
        ASSERT_NE(found, std::string::npos) << heading << " in\n" << text;
        at = found + heading.size();
    }

    const test::ProcessResult replayed = updateAgainst({"--replay", report}, "display", kSmallFile);
    EXPECT_EQ(replayed.exitCode, 1) << replayed.err;
    EXPECT_EQ(replayed.out, recorded.out);

    const fs::path log = scratch.path() / "sim.log";
    const std::string nowhere = (scratch.path() / "missing" / "report.txt").string();
    const test::ProcessResult refused =
        updateAgainst({"--log", log.string()}, "display", kSmallFile, {"--report", nowhere});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "error: cannot write the report file " + nowhere + ": No such file or directory\n");
    EXPECT_EQ(readText(log), "");
}

TEST(Outputs, NamingTheHexFileByAnotherPathAreRefusedBeforeAnythingIsSent) {
    const test::ScratchDir scratch;
    fs::create_directory(scratch.path() / "fw");
    const fs::path hex = scratch.path() / "fw" / "board.hex";
    fs::copy_file(kSmallFile, hex);
    const std::string original = readText(hex);
    const fs::path link = scratch.path() / "link.trace";
    fs::create_symlink(hex, link);
    const std::string dotted = (scratch.path() / "fw" / ".." / "fw" / "board.hex").string();
    const std::string other = (scratch.path() / "out.txt").string();
    const std::string otherByDots = (scratch.path() / "fw" / ".." / "out.txt").string();
    struct Case {
        std::vector<std::string> options;
        std::string error;
    };
    for (const Case& c : {Case{{"--trace", link.string()}, "--trace names the HEX file: " + link.string()},
                          Case{{"--report", dotted}, "--report names the HEX file: " + dotted},
                          Case{{"--trace", other, "--report", otherByDots},
                               "--trace and --report name the same file: " + other}}) {
        SCOPED_TRACE(c.error);
        const fs::path log = scratch.path() / "sim.log";
        const test::ProcessResult refused = updateAgainst({"--log", log.string()}, "display", hex.string(), c.options);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.err, "error: " + c.error + "\n");
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(readText(log), "");
        EXPECT_EQ(readText(hex), original);
        EXPECT_FALSE(fs::exists(other));
    }
}

TEST(Trace, RecordedFailuresReplayToTheirLogAndExitStatus) {
    // To add one: run the failing update with --trace, copy the trace, its
    // standard output (NAME.out) and its HEX file here, and add a line.
    struct Recorded {
        std::string name;
        std::string board;
        int status;
    };
    for (const Recorded& r : {Recorded{"lossy-erase", "display", 1}}) {
        SCOPED_TRACE(r.name);
        const test::ProcessResult replayed =
            updateAgainst({"--replay", (kTraces / (r.name + ".trace")).string()}, r.board, kSmallFile);
        EXPECT_EQ(replayed.exitCode, r.status) << replayed.err;
        EXPECT_EQ(replayed.out, readText(kTraces / (r.name + ".out")));
    }

    // A malformed trace stops tarvane-sim at once, naming the line.
    const test::ScratchDir scratch;
    const std::string bad = scratch.write("bad.trace", "# tarvane-trace 1\n# connection 1 opened\n0.1 > 01\n");
    const test::ProcessResult sim = test::runProcess(kSim, {"--listen", "127.0.0.1:0", "--replay", bad}, 10);
    EXPECT_EQ(sim.exitCode, 1);
    EXPECT_EQ(sim.err, "tarvane-sim: cannot replay " + bad +
                           ": line 3: the line does not start with a time in seconds with six decimals\n");
}

} // namespace
} // namespace tarvane
