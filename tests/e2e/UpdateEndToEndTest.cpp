// tarvane-update against tarvane-sim: the whole update as a user's terminal
// sees it, with the board's own record of what reached it.
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const fs::path kExamples = fs::path(TARVANE_SOURCE_DIR) / "examples";
const std::string kDisplayFile = (kExamples / "Tarvane_Display_Board_2064.hex").string();
const std::string kInterfaceFile = (kExamples / "Tarvane_Interface_Board_2048.hex").string();

const Lines& kSuccessLog = test::successLog();
const Lines& kNoResponse = test::noResponseLog();
using test::splitLines;

Lines tail(const Lines& lines, std::size_t n) {
    return n >= lines.size() ? lines : Lines(lines.end() - static_cast<long>(n), lines.end());
}

struct UpdateRun {
    test::ProcessResult result;
    Lines out;
    std::vector<test::LoggedRequest> requests;
    std::vector<std::uint8_t> flash;
    double seconds = 0;

    std::size_t count(int command) const {
        return test::countRequests(requests, command);
    }
    std::vector<double> times(int command) const {
        std::vector<double> t;
        for (const auto& r : requests)
            if (r.command == command) t.push_back(r.ms);
        return t;
    }
};

struct EndToEnd : ::testing::Test {
    // Unique per process: several builds may run these tests at once.
    test::ScratchDir scratch;
    const fs::path& dir = scratch.path();

    // Runs one update against a fresh tarvane-sim with the given fault switches.
    UpdateRun update(const std::string& board, const std::string& file, std::vector<std::string> simOptions = {}) {
        const fs::path log = dir / "sim.log";
        const fs::path dump = dir / "sim.dump";
        simOptions.insert(simOptions.end(), {"--log", log.string(), "--dump", dump.string()});
        test::SimProcess sim(simOptions);
        EXPECT_TRUE(sim.started()) << sim.error();
        UpdateRun run;
        const auto t0 = std::chrono::steady_clock::now();
        run.result = test::runProcess(kUpdate, {"--board", board, "--device", sim.address(), file}, 120);
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        sim.stop();
        run.out = splitLines(run.result.out);
        run.requests = test::readRequestLog(log);
        run.flash = test::readBytes(dump);
        return run;
    }

    // The board's flash must hold exactly what the file puts in it.
    static void expectFlashHolds(const UpdateRun& run, const std::string& file) {
        EXPECT_EQ(test::flashMismatch(run.flash, file), "");
    }

    // A small file, so that lossy boards finish in a few seconds.
    std::string smallFile() {
        std::ofstream out(dir / "Tarvane_Display_Board_small.hex");
        out << ":020000041D00DD\n";
        for (int i = 0; i < 50; ++i) {
            char line[64];
            const int offset = i * 16;
            unsigned sum = 0x10 + static_cast<unsigned>(offset >> 8) + static_cast<unsigned>(offset & 0xFF);
            std::string data;
            for (int b = 0; b < 16; ++b) {
                const unsigned v = static_cast<unsigned>((i * 7 + b * 13) & 0xFF);
                sum += v;
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", v);
                data += hex;
            }
            std::snprintf(line, sizeof line, ":10%04X00%s%02X\n", offset, data.c_str(), (0x100 - (sum & 0xFF)) & 0xFF);
            out << line;
        }
        out << ":00000001FF\n";
        return (dir / "Tarvane_Display_Board_small.hex").string();
    }
};

TEST_F(EndToEnd, InterfaceBoardIsUpdatedWithoutStartingTheApplication) {
    const UpdateRun run = update("interface", kInterfaceFile);
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    Lines expected{"Interface board selected", "HEX file selected"};
    expected.insert(expected.end(), kSuccessLog.begin(), kSuccessLog.end());
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.count(5), 0u);
    EXPECT_EQ(run.count(1), 1u);
    EXPECT_EQ(run.count(2), 1u);
    EXPECT_EQ(run.count(4), 1u);
    expectFlashHolds(run, kInterfaceFile);
}

TEST_F(EndToEnd, DisplayBoardIsUpdatedAndStartedOnceAfterTheVerify) {
    const UpdateRun run = update("display", kDisplayFile);
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    EXPECT_EQ(Lines(run.out.begin() + 2, run.out.end()), kSuccessLog);
    ASSERT_EQ(run.count(5), 1u);
    EXPECT_EQ(run.requests.back().command, 5);
    EXPECT_EQ(run.requests[run.requests.size() - 2].command, 4);
    expectFlashHolds(run, kDisplayFile);
    std::printf("[ figure ] whole update of the Display sample over tcp: %.2f s\n", run.seconds);
}

TEST_F(EndToEnd, NoBoardMeansDeviceNotFoundAndALogOfOneLine) {
    // Port 1 on loopback: nothing listens there.
    const auto r = test::runProcess(kUpdate, {"--board", "display", "--device", "tcp:127.0.0.1:1", kDisplayFile});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(splitLines(r.out), (Lines{"Display board selected", "HEX file selected", "Update started"}));
    EXPECT_EQ(splitLines(r.err).at(0), "error: Device not found");
}

TEST_F(EndToEnd, BoardThatNeverErasesGetsThreeSendsThenTheNoResponseLines) {
    const UpdateRun run = update("interface", kInterfaceFile, {"--silent", "erase"});
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(Lines(run.out.begin() + 2, run.out.begin() + 5), (Lines{"Update started", "Connecting...", "Connected"}));
    EXPECT_EQ(tail(run.out, 5), kNoResponse);
    EXPECT_EQ(run.out.size(), 10u);
    const auto erases = run.times(2);
    ASSERT_EQ(erases.size(), 3u);
    for (std::size_t i = 1; i < erases.size(); ++i) {
        EXPECT_NEAR(erases[i] - erases[i - 1], 1000.0, 150.0);
    }
}

TEST_F(EndToEnd, SilentBoardGetsThirtyQueriesTwoHundredMillisecondsApart) {
    const UpdateRun run = update("display", kDisplayFile, {"--silent", "query"});
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(tail(run.out, 5), kNoResponse);
    const auto queries = run.times(1);
    ASSERT_EQ(queries.size(), 30u);
    const double mean = (queries.back() - queries.front()) / 29.0;
    EXPECT_GE(mean, 199.0);
    EXPECT_LT(mean, 260.0);
}

TEST_F(EndToEnd, WrongVerifyCrcIsAFailureNeverASuccess) {
    const UpdateRun run = update("display", smallFile(), {"--wrong-verify-crc"});
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(tail(run.out, 4),
              (Lines{"", ">> Verification failed!", "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
    EXPECT_EQ(run.count(5), 0u);
}

TEST_F(EndToEnd, UnknownAnswerToAProgramRequestEndsByTheWatchdog) {
    const UpdateRun run = update("display", smallFile(), {"--unknown-answer", "program"});
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(tail(run.out, 5), (Lines{"", ">> Timeout detected!", ">> The device may not be in bootloader mode",
                                       "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
    EXPECT_EQ(run.count(3), 1u);
}

struct FaultyBoard : EndToEnd, ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(FaultyBoard, StillEndsUpdatedWithTheRightFlash) {
    const std::string file = smallFile();
    const UpdateRun run = update("display", file, GetParam());
    EXPECT_EQ(run.result.exitCode, 0) << run.result.out << run.result.err;
    EXPECT_EQ(Lines(run.out.begin() + 2, run.out.end()), kSuccessLog);
    expectFlashHolds(run, file);
}

INSTANTIATE_TEST_SUITE_P(LossyAndStuttering, FaultyBoard,
                         ::testing::Values(std::vector<std::string>{"--drop-every", "3"},
                                           std::vector<std::string>{"--corrupt-crc-every", "3"},
                                           std::vector<std::string>{"--answer-twice"},
                                           std::vector<std::string>{"--answer-from", "query:10"}));

// The first batch is answered 1.3 s late, after its re-send, and the next
// batch's first send is lost: the late answer must not pass for its answer.
TEST_F(EndToEnd, LateAnswerNeverHidesALostBatch) {
    const std::string file = smallFile();
    const UpdateRun run = update("display", file, {"--late-answer", "program:1:1300", "--drop-every", "5"});
    EXPECT_EQ(run.result.exitCode, 0) << run.result.out << run.result.err;
    EXPECT_EQ(Lines(run.out.begin() + 2, run.out.end()), kSuccessLog);
    expectFlashHolds(run, file);
    // Five batches: the first sent twice, the lost second sent again.
    EXPECT_EQ(run.count(3), 7u);
}

TEST_F(EndToEnd, ConnectionDroppedMidProgrammingEndsInNoResponse) {
    const UpdateRun run = update("display", kDisplayFile, {"--close-after", "20"});
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(tail(run.out, 5), kNoResponse);
    EXPECT_LT(run.seconds, 10.0);
}

TEST_F(EndToEnd, MalformedFileNeverReachesTheBoard) {
    std::ofstream(dir / "Tarvane_Display_Board_cut.hex") << ":020000041D00DD\n:0400000001020304F2\n";
    const UpdateRun run = update("display", (dir / "Tarvane_Display_Board_cut.hex").string());
    EXPECT_EQ(run.result.exitCode, 3);
    EXPECT_TRUE(run.requests.empty());
    EXPECT_EQ(splitLines(run.result.err).at(0), "error: Cannot load the HEX file.");
}

} // namespace
} // namespace tarvane
