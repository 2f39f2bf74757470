#include "link/Protocol.h"
#include "sim/BoardTiming.h"
#include "sim/SimulatedBoard.h"
#include "tests/sim/SimTestHelpers.h"

#include <gtest/gtest.h>

namespace tarvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = SimulatedBoard::Clock;

SimFaults faults(void (*set)(SimFaults&)) {
    SimFaults f;
    set(f);
    return f;
}

std::size_t answersTo(SimulatedBoard& board, const Bytes& payload, int times) {
    std::size_t n = 0;
    for (int i = 0; i < times; ++i) {
        sendRequest(board, payload);
        n += takeAnswers(board).size();
    }
    return n;
}

TEST(SimulatedBoardFaults, SilenceAndLateAnswersAndDrops) {
    SimulatedBoard silent(faults([](SimFaults& f) { f.silent = {CMD_ERASE}; }));
    sendRequest(silent, programPayload({linearRecord(0x1D00), record(0, 0, {0})}));
    takeAnswers(silent);
    EXPECT_EQ(answersTo(silent, {CMD_ERASE}, 3), 0u);
    EXPECT_EQ(silent.flashByte(0x9D000000), 0xFF) << "a silent board still does the work";
    EXPECT_EQ(answersTo(silent, {CMD_QUERY}, 1), 1u);

    SimulatedBoard late(faults([](SimFaults& f) { f.answerFrom = {{CMD_QUERY, 10}}; }));
    EXPECT_EQ(answersTo(late, {CMD_QUERY}, 9), 0u);
    EXPECT_EQ(answersTo(late, {CMD_ERASE}, 1), 1u);
    EXPECT_EQ(answersTo(late, {CMD_QUERY}, 2), 2u);
    EXPECT_EQ(late.requestCount(CMD_QUERY), 11u);
    EXPECT_EQ(late.requestLog()[0].outcome, SimOutcome::NotYet);

    SimulatedBoard lossy(faults([](SimFaults& f) { f.dropEvery = 3; }));
    EXPECT_EQ(answersTo(lossy, {CMD_QUERY}, 2), 2u);
    sendRequest(lossy, programPayload({linearRecord(0x1D00), record(0, 0, {0x12})}));
    EXPECT_TRUE(takeAnswers(lossy).empty());
    EXPECT_EQ(lossy.flashByte(0x9D000000), 0xFF) << "a lost request does nothing";
    EXPECT_EQ(answersTo(lossy, {CMD_QUERY}, 6), 4u);
    EXPECT_EQ(lossy.requestCount(), 9u);
}

TEST(SimulatedBoardFaults, FalsifiedAnswers) {
    SimulatedBoard corrupt(faults([](SimFaults& f) { f.corruptCrcEvery = 2; }));
    for (int i = 0; i < 4; ++i) sendRequest(corrupt, {CMD_QUERY});
    EXPECT_EQ(takeAnswers(corrupt).size(), 2u);
    EXPECT_EQ(corrupt.answerCount(), 4u);

    SimulatedBoard twice(faults([](SimFaults& f) { f.answerTwice = true; }));
    sendRequest(twice, {CMD_ERASE});
    EXPECT_EQ(takeAnswers(twice), (std::vector<Bytes>{{CMD_ERASE}, {CMD_ERASE}}));

    SimulatedBoard wrong(faults([](SimFaults& f) { f.wrongVerifyCrc = true; }));
    sendRequest(wrong, verifyPayload(0x9D000000, 0x100));
    const auto verify = takeAnswers(wrong);
    ASSERT_EQ(verify.size(), 1u);
    EXPECT_NE(verify[0][1] | verify[0][2] << 8, wrong.flashCrc(0x9D000000, 0x100));

    SimulatedBoard unknown(faults([](SimFaults& f) { f.unknownAnswer = {CMD_ERASE}; }));
    sendRequest(unknown, {CMD_ERASE});
    sendRequest(unknown, {CMD_QUERY});
    EXPECT_EQ(takeAnswers(unknown),
              (std::vector<Bytes>{{SimulatedBoard::kUnknownAnswerCommand}, {CMD_QUERY, 1, 2}}));
}

TEST(SimulatedBoardFaults, ClosesTheConnectionAtTheNthRequest) {
    SimulatedBoard board(faults([](SimFaults& f) { f.closeAfter = 2; }));
    board.connect();
    EXPECT_EQ(answersTo(board, {CMD_QUERY}, 1), 1u);
    EXPECT_FALSE(board.connectionClosed());
    EXPECT_EQ(answersTo(board, {CMD_ERASE}, 1), 0u);
    EXPECT_TRUE(board.connectionClosed());
    EXPECT_EQ(answersTo(board, {CMD_QUERY}, 1), 0u);
    EXPECT_EQ(board.requestCount(), 2u) << "nothing reaches a closed connection";
    EXPECT_EQ(board.requestLog().back().outcome, SimOutcome::Closed);

    board.connect();
    EXPECT_FALSE(board.connectionClosed());
    EXPECT_EQ(answersTo(board, {CMD_QUERY}, 1), 1u);
}

TEST(SimulatedBoardFaults, AnswersAreDueAfterTheDelay) {
    SimulatedBoard board(faults([](SimFaults& f) { f.answerDelay = 250ms; }));
    const auto t0 = Clock::now();
    sendRequest(board, {CMD_QUERY}, t0);
    ASSERT_TRUE(board.nextReportTime().has_value());
    EXPECT_EQ(*board.nextReportTime(), t0 + 250ms);
    Report r{};
    EXPECT_FALSE(board.takeReport(r, t0 + 249ms));
    EXPECT_TRUE(board.takeReport(r, t0 + 250ms));
    EXPECT_FALSE(board.nextReportTime().has_value());
}

TEST(SimulatedBoardFaults, UsbTimingModel) {
    SimulatedBoard board(faults([](SimFaults& f) { f.usbTiming = true; }));
    const auto t0 = Clock::now();

    // Reports handed over at the same instant cross the bus 1 ms apart.
    const Report padding{};
    EXPECT_EQ(board.receiveReport(padding, t0), t0 + 1ms);
    EXPECT_EQ(board.receiveReport(padding, t0), t0 + 2ms);
    EXPECT_EQ(board.receiveReport(padding, t0 + 10ms), t0 + 11ms);
    // One handed over a little late still takes the next frame; later, it waits a whole one.
    EXPECT_EQ(board.receiveReport(padding, t0 + 11ms + kFrameSlack), t0 + 12ms);
    EXPECT_EQ(board.receiveReport(padding, t0 + 12ms + kFrameSlack + 1us), t0 + 13ms + kFrameSlack + 1us);

    // Erase: its report slot, the erase, then the answer's slot.
    sendRequest(board, {CMD_ERASE}, t0 + 20ms);
    EXPECT_EQ(*board.nextReportTime(), t0 + 21ms + kEraseTime + 1ms);
    // A query sent meanwhile waits for the erase to finish.
    sendRequest(board, {CMD_QUERY}, t0 + 30ms);
    Report r{};
    ASSERT_TRUE(board.takeReport(r, t0 + 1s));
    const auto answered = t0 + 21ms + kEraseTime + 2ms;
    EXPECT_EQ(*board.nextReportTime(), answered);
    ASSERT_TRUE(board.takeReport(r, t0 + 1s));
    // A host that answers an answer at once rides the frame that answer ended.
    EXPECT_EQ(board.receiveReport(padding, answered + kFrameSlack), answered + 1ms);

    // Eleven 16-byte records: a 4-report frame, 44 words programmed.
    std::vector<Bytes> records{linearRecord(0x1D00)};
    for (std::uint16_t i = 0; i < 10; ++i) records.push_back(record(0, static_cast<std::uint16_t>(i * 16), Bytes(16, 0x33)));
    const auto reports = requestReports(programPayload(records));
    ASSERT_EQ(reports.size(), 4u);
    const auto t1 = t0 + 2s;
    for (const auto& report : reports) board.receiveReport(report, t1);
    EXPECT_EQ(*board.nextReportTime(), t1 + 4ms + 40 * kWordProgramTime + 1ms);
    ASSERT_TRUE(board.takeReport(r, t1 + 1s));

    const auto t2 = t0 + 3s;
    sendRequest(board, verifyPayload(0x9D000000, 512 * 1024), t2);
    EXPECT_EQ(*board.nextReportTime(), t2 + 1ms + kCrcTimePerByte * 512 * 1024 + 1ms);
}

} // namespace
} // namespace tarvane::test
