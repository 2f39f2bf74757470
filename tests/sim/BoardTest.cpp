#include "firmware/Crc16.h"
#include "link/Protocol.h"
#include "sim/SimulatedBoard.h"
#include "tests/sim/SimTestHelpers.h"

#include <gtest/gtest.h>

namespace tarvane::test {
namespace {

constexpr std::uint32_t kFlash = 0x9D000000;

Bytes flashBytes(const SimulatedBoard& board, std::uint32_t address, std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(board.flashByte(address + static_cast<std::uint32_t>(i)));
    return out;
}

TEST(SimulatedBoard, AnswersQueryAndEraseLeavesStartAndUnknownCommandsUnanswered) {
    SimulatedBoard board;
    sendRequest(board, {CMD_QUERY});
    sendRequest(board, {CMD_START_APP});
    sendRequest(board, {0x09});
    sendRequest(board, {CMD_ERASE});
    EXPECT_EQ(takeAnswers(board), (std::vector<Bytes>{{CMD_QUERY, 1, 2}, {CMD_ERASE}}));

    const auto log = board.requestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1].command, CMD_START_APP);
    EXPECT_EQ(log[1].outcome, SimOutcome::Unanswered);
    EXPECT_EQ(log[2].outcome, SimOutcome::Unanswered);
    EXPECT_EQ(board.requestCount(), 4u);
    EXPECT_EQ(board.requestCount(CMD_START_APP), 1u);
    EXPECT_EQ(formatRequest(log[3], log[3].time), "t=0.000ms cmd=2 len=1 answered");
}

TEST(SimulatedBoard, ProgramsRecordsLikeABootloader) {
    SimulatedBoard board;
    sendRequest(board, programPayload({
                           linearRecord(0x1D00),
                           record(0, 0x0000, {0x01, 0x02, 0x03, 0x04}),
                           linearRecord(0x9D00), // the cached view of the same flash
                           record(0, 0x0010, {0xAA, 0xBB}),
                           record(1, 0, {}),     // end of file changes nothing here
                           record(0, 0x0020, {0x55}),
                           record(0, 0x0030, {0x0F}),
                       }));
    sendRequest(board, programPayload({
                           record(0, 0x0030, {0xF0}), // over unerased flash: the AND
                           linearRecord(0x1D07),
                           record(0, 0xFFFC, {1, 2, 3, 4, 5, 6, 7, 8}), // runs past the end
                           linearRecord(0x1FC0),
                           record(0, 0x0000, {0x00, 0x00}), // boot flash: not ours
                           linearRecord(0x1D00),
                           record(2, 0, {0x00, 0x00}), // a segment base cancels the linear one
                           record(0, 0x0040, {0x00}),
                       }));
    EXPECT_EQ(takeAnswers(board), (std::vector<Bytes>{{CMD_PROGRAM}, {CMD_PROGRAM}}));

    EXPECT_EQ(flashBytes(board, kFlash, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(flashBytes(board, 0x1D000010, 3), (Bytes{0xAA, 0xBB, 0xFF}));
    EXPECT_EQ(board.flashByte(kFlash + 0x20), 0x55);
    EXPECT_EQ(board.flashByte(kFlash + 0x30), 0x00);
    EXPECT_EQ(board.flashByte(kFlash + 0x40), 0xFF);
    EXPECT_EQ(flashBytes(board, kFlash + 0x7FFFC, 4), (Bytes{1, 2, 3, 4}));

    const auto flash = board.flash();
    ASSERT_EQ(flash.size(), 512u * 1024u);
    EXPECT_EQ(std::count_if(flash.begin(), flash.end(), [](std::uint8_t b) { return b != 0xFF; }), 12);

    sendRequest(board, {CMD_ERASE});
    const auto erased = board.flash();
    EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SimulatedBoard, RefusesAWholeBatchWithABadRecord) {
    SimulatedBoard board;
    Bytes spoiled = record(0, 0x0004, {0x11});
    spoiled.back() ^= 1;
    Bytes cut = record(0, 0x0008, {0x22, 0x33});
    cut.pop_back();
    for (const auto& bad : {spoiled, cut}) {
        sendRequest(board, programPayload({linearRecord(0x1D00), record(0, 0, {0x42}), bad}));
    }
    EXPECT_TRUE(takeAnswers(board).empty());
    EXPECT_EQ(board.flashByte(kFlash), 0xFF);
    for (const auto& entry : board.requestLog()) EXPECT_EQ(entry.outcome, SimOutcome::Rejected);
}

TEST(SimulatedBoard, VerifyAnswersTheCrcOfTheNamedRange) {
    SimulatedBoard board;
    const Bytes data{0x10, 0x01, 0x04, 0x99, 0x00, 0x7E, 0x01, 0x02};
    sendRequest(board, programPayload({linearRecord(0x1D00), record(0, 0, data)}));
    takeAnswers(board);

    const auto crcAnswer = [&](std::uint32_t start, std::uint32_t length) {
        sendRequest(board, verifyPayload(start, length));
        const auto answers = takeAnswers(board);
        if (answers.size() != 1 || answers[0].size() != 3 || answers[0][0] != CMD_VERIFY) return -1;
        return answers[0][1] | answers[0][2] << 8;
    };
    EXPECT_EQ(crcAnswer(kFlash, 8), crc16(data.data(), data.size()));
    EXPECT_EQ(crcAnswer(0x1D000000, 8), crc16(data.data(), data.size()));

    // Bytes before and after the flash read as erased.
    Bytes around(16, 0xFF);
    std::copy(data.begin(), data.end(), around.begin() + 8);
    EXPECT_EQ(crcAnswer(kFlash - 8, 16), crc16(around.data(), around.size()));
    const Bytes tail(16, 0xFF);
    EXPECT_EQ(crcAnswer(kFlash + 0x7FFF8, 16), crc16(tail.data(), tail.size()));
    EXPECT_EQ(crcAnswer(0xFFFFFFF8, 16), crc16(tail.data(), tail.size()));
    EXPECT_EQ(crcAnswer(kFlash, 0), 0);

    // A runaway range and a short request are not answered.
    EXPECT_EQ(crcAnswer(kFlash, SimulatedBoard::kMaxVerifyLength + 1), -1);
    sendRequest(board, {CMD_VERIFY, 0, 0, 0, 0x9D});
    EXPECT_TRUE(takeAnswers(board).empty());
}

TEST(SimulatedBoard, ANewConnectionKeepsTheFlashButStartsTheDecoderAndAddressingAfresh) {
    SimulatedBoard board;
    sendRequest(board, programPayload({linearRecord(0x1D00), record(0, 0, {0x5A})}));
    // A frame cut off by the disconnect, its last byte an escape that would
    // swallow the next frame's SOH.
    Report cut{};
    cut[0] = SOH;
    cut[1] = CMD_QUERY;
    cut[63] = DLE;
    board.receiveReport(cut);
    takeAnswers(board);

    board.connect();
    sendRequest(board, {CMD_QUERY});
    EXPECT_EQ(takeAnswers(board).size(), 1u);
    EXPECT_EQ(board.flashByte(kFlash), 0x5A);

    // Without the extended address of the last connection, offset 1 is outside the flash.
    sendRequest(board, programPayload({record(0, 0x0001, {0x00})}));
    EXPECT_EQ(board.flashByte(kFlash + 1), 0xFF);
    EXPECT_EQ(board.connectionCount(), 1u);
}

} // namespace
} // namespace tarvane::test
