#include "tests/support/HexGen.h"
#include "update/Bootloader.h"
#include "update/UpdateSequence.h"

#include <gtest/gtest.h>

namespace tarvane {
namespace {

using Lines = std::vector<std::string>;

// Ticks, requests and pauses in the order they start: "ticks 500", "1 x30 200ms", "pause 1000".
struct Timeline {
    Lines steps;
    void request(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) {
        steps.push_back(std::to_string(command) + " x" + std::to_string(sends) + " " + std::to_string(timeoutMs) + "ms");
    }
    void pause(int ms) { steps.push_back("pause " + std::to_string(ms)); }
};

// A link whose board the test plays: it records what is sent and reports
// the progress the test sets.
struct ScriptedLink final : UpdateLink {
    bool boardPresent = true;
    bool linked = false;
    std::uint32_t connections = 0;
    std::vector<std::uint8_t> sent;
    Progress shown;
    std::string detail = "no board here";
    Timeline* timeline = nullptr;

    bool findDevice(std::uint16_t, std::uint16_t) override { return boardPresent; }
    const std::string& deviceDetail() const override { return detail; }
    bool useFile(std::shared_ptr<const std::string>) override { return true; }
    void connect(LinkNotifier) override {
        linked = true;
        ++connections;
    }
    void disconnect() override { linked = false; }
    bool connected() const override { return linked; }
    std::uint32_t connection() const override { return connections; }
    bool sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) override {
        if (timeline) timeline->request(command, sends, timeoutMs);
        sent.push_back(command);
        shown.command = command;
        shown.sendsTotal = shown.sendsLeft = sends;
        return true;
    }
    bool sendVerifyRequest(const VerifyRange&, std::uint16_t sends, std::uint16_t timeoutMs) override {
        return sendRequest(CMD_VERIFY, sends, timeoutMs);
    }
    Progress progress() const override { return shown; }
};

// What the user would learn, and the clock's side.
struct Recorder final : UpdateEvents, UpdateClock {
    Lines lines;
    bool runs = false;
    bool barShown = false;
    std::pair<std::int32_t, std::int32_t> bar;
    std::vector<UpdateProblem> problems;
    std::vector<UpdateOutcome> outcomes;
    bool ticking = false;
    Timeline* timeline = nullptr;

    void logCleared() override { lines.clear(); }
    void logLine(const std::string& line) override { lines.push_back(line); }
    void running(bool on) override { runs = on; }
    void phaseProgress(UpdatePhase, std::int64_t, std::int64_t) override {}
    void progressShown(bool shown) override { barShown = shown; }
    void progressMoved(std::int32_t done, std::int32_t total) override { bar = {done, total}; }
    void problem(const UpdateProblem& p) override { problems.push_back(p); }
    void ended(UpdateOutcome outcome) override { outcomes.push_back(outcome); }
    void startTicks(int periodMs) override {
        ticking = true;
        if (timeline) timeline->steps.push_back("ticks " + std::to_string(periodMs));
    }
    void stopTicks() override { ticking = false; }
    void pause(int ms) override {
        if (timeline) timeline->pause(ms);
    }
    void post(LinkMessage) override {}
};

struct UpdateSequenceTest : ::testing::Test {
    ScriptedLink link;
    Recorder user;
    UpdateSequence sequence{user, user, link};
    test::ScratchDir scratch;
    const std::string file =
        scratch.write("board.hex", test::generateHex({{test::kGenImageBase, test::patternBytes(300, 3)}}).text);

    void start(UpdateMode mode) {
        user.lines.clear();
        link.sent.clear();
        sequence.setMode(mode);
        sequence.start(file);
    }
    void answer(std::uint8_t command, std::vector<std::uint8_t> data = {}) {
        sequence.onLinkMessage({LinkMessage::Kind::Response, command, std::move(data), link.connections});
    }
    std::vector<std::uint8_t> crcOf(std::uint16_t crc) { return {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)}; }
    std::vector<std::uint8_t> fileCrc() { return crcOf(sequence.verifyRange().crc); }
    Lines lastLines(std::size_t n) const { return Lines(user.lines.end() - static_cast<long>(n), user.lines.end()); }
};

TEST_F(UpdateSequenceTest, AScriptedBoardTakesTheSequenceThroughEveryPhaseAndFailure) {
    {
        SCOPED_TRACE("a Display update");
        start(UpdateMode::UpdateAndStart);
        EXPECT_TRUE(user.runs);
        EXPECT_TRUE(user.ticking);
        answer(CMD_ERASE); // not awaited yet: changes nothing
        answer(CMD_QUERY);
        answer(CMD_ERASE);
        EXPECT_TRUE(user.barShown);
        EXPECT_EQ(sequence.phase(), UpdatePhase::Programming);
        answer(CMD_PROGRAM);
        EXPECT_EQ(user.bar, std::make_pair(100, 100));
        answer(CMD_VERIFY, fileCrc());
        EXPECT_EQ(link.sent, (std::vector<std::uint8_t>{CMD_QUERY, CMD_ERASE, CMD_PROGRAM, CMD_VERIFY, CMD_START_APP}));
        EXPECT_EQ(user.lines, (Lines{"Update started", "Connecting...", "Connected", "Flash erased", "Programming flash...",
                                     "Programming complete", "Verification successful", "=== UPGRADE COMPLETE ===",
                                     "a) Remove the USB-C CHARGER and micro\u2013B USB cables",
                                     "b) Slide the switch S4 to OFF and then to ON",
                                     "c) Push the POWER button to power up the Tarvane"}));
        EXPECT_TRUE(user.barShown);
        EXPECT_FALSE(user.runs || user.ticking || link.linked);
        EXPECT_EQ(user.outcomes.back(), UpdateOutcome::Updated);
    }
    {
        SCOPED_TRACE("a wrong CRC, then the same in a verify-only run");
        start(UpdateMode::Update);
        for (std::uint8_t command : {CMD_QUERY, CMD_ERASE, CMD_PROGRAM}) answer(command);
        answer(CMD_VERIFY, crcOf(static_cast<std::uint16_t>(sequence.verifyRange().crc + 1)));
        EXPECT_EQ(lastLines(4), (Lines{"", ">> Verification failed!", "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
        EXPECT_FALSE(user.barShown);
        EXPECT_EQ(user.outcomes.back(), UpdateOutcome::VerificationFailed);

        start(UpdateMode::VerifyOnly);
        answer(CMD_QUERY);
        answer(CMD_VERIFY, {0x12});
        EXPECT_EQ(link.sent, (std::vector<std::uint8_t>{CMD_QUERY, CMD_VERIFY}));
        EXPECT_EQ(user.lines, (Lines{"Verifying the board against the file (no erase)", "Connecting...", "Connected", "",
                                     ">> Verification failed!", ">> The board does not hold this file"}));
    }
    {
        SCOPED_TRACE("no answer, no board, an interruption");
        start(UpdateMode::Update);
        sequence.onLinkMessage({LinkMessage::Kind::Timeout, CMD_QUERY, {}, link.connections});
        EXPECT_EQ(lastLines(2), (Lines{"b) Remove the USB-C CHARGER cable", "c) Repeat STEP 4 above"}));
        EXPECT_EQ(user.outcomes.back(), UpdateOutcome::NoResponse);

        link.boardPresent = false;
        start(UpdateMode::Update);
        ASSERT_EQ(user.problems.size(), 1u);
        EXPECT_EQ(user.problems[0].text, "Device not found");
        EXPECT_EQ(user.problems[0].detail, "no board here");
        EXPECT_EQ(user.outcomes.back(), UpdateOutcome::DeviceNotFound);
        EXPECT_FALSE(user.runs);

        // Before any run: nothing on the board to repair.
        user.lines.clear();
        sequence.interrupt();
        EXPECT_EQ(user.lines, (Lines{"", ">> Update interrupted"}));
        EXPECT_EQ(user.outcomes.back(), UpdateOutcome::Interrupted);
    }
}

TEST_F(UpdateSequenceTest, EachRequestHasItsSendsAndTimeOutAndThePausesFallBetween) {
    Timeline timeline;
    link.timeline = user.timeline = &timeline;
    start(UpdateMode::UpdateAndStart);
    for (std::uint8_t command : {CMD_QUERY, CMD_ERASE, CMD_PROGRAM}) answer(command);
    answer(CMD_VERIFY, fileCrc());
    EXPECT_EQ(timeline.steps, (Lines{"ticks 500", "1 x30 200ms", "pause 1000", "2 x3 1000ms", "pause 1000", "3 x3 1000ms",
                                     "pause 1000", "4 x3 1000ms", "pause 1000", "5 x3 1000ms", "pause 1000"}));

    timeline.steps.clear();
    start(UpdateMode::VerifyOnly);
    answer(CMD_QUERY);
    answer(CMD_VERIFY, fileCrc());
    EXPECT_EQ(timeline.steps, (Lines{"ticks 500", "1 x30 200ms", "4 x3 1000ms", "pause 100"}));
}

TEST_F(UpdateSequenceTest, WatchdogEndsFifteenStalledTicksInARow) {
    start(UpdateMode::Update);
    answer(CMD_QUERY);
    // A board that moves between stalls is slow, not stalled: 7 stalled ticks, a move, 14 more.
    for (int i = 0; i < 8; ++i) sequence.onTick();
    link.shown.sendsLeft = 1;
    for (int i = 0; i < 15; ++i) sequence.onTick();
    EXPECT_TRUE(sequence.running());

    sequence.onTick(); // the 15th stalled tick
    EXPECT_FALSE(sequence.running());
    EXPECT_FALSE(user.ticking);
    EXPECT_EQ(lastLines(5), (Lines{"", ">> Timeout detected!", ">> The device may not be in bootloader mode",
                                   "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
    EXPECT_EQ(user.outcomes.back(), UpdateOutcome::Stalled);
}

// Whatever owns the two, a window closed mid-update: the worker must not post
// through a sequence that is gone.
TEST_F(UpdateSequenceTest, ASequenceThatGoesStopsItsLink) {
    ScriptedLink own;
    {
        UpdateSequence going{user, user, own};
        going.setMode(UpdateMode::Update);
        going.start(file);
        ASSERT_TRUE(own.linked);
    }
    EXPECT_FALSE(own.linked);
}

TEST_F(UpdateSequenceTest, ProgressOfLongFilesIsNotCutTo16BitsAndStaleMessagesAreIgnored) {
    start(UpdateMode::Update);
    answer(CMD_QUERY);
    answer(CMD_ERASE);
    link.shown.linesTotal = 70002;
    link.shown.linesConsumed = 69000;
    sequence.onTick();
    EXPECT_EQ(user.bar, std::make_pair(69000, 70002));

    // A message of an earlier connection, or a repeated answer, moves nothing.
    const std::size_t said = user.lines.size();
    sequence.onLinkMessage({LinkMessage::Kind::Timeout, CMD_PROGRAM, {}, link.connections - 1});
    answer(CMD_ERASE);
    EXPECT_EQ(user.lines.size(), said);
    EXPECT_EQ(sequence.phase(), UpdatePhase::Programming);
}

} // namespace
} // namespace tarvane
