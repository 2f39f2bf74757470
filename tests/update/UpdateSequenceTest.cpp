#include "res/resource.h"
#include "tests/app/RecordingView.h"
#include "tests/link/LinkPeer.h"
#include "tests/support/HexGen.h"
#include "tests/update/UpdateSequencePeer.h"
#include "update/UpdateSequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tarvane {
namespace {

using test::RecordingView;
using Lines = std::vector<std::string>;
using Peer = UpdateSequencePeer;

// The window's side: its log lines and whether its choices are enabled.
struct RecordingWindow final : UpdateWindow {
    Lines lines;
    bool controlsEnabled = true;
    void appendLog(const std::string& line) override { lines.push_back(line); }
    void clearLog() override { lines.clear(); }
    void enableControls(bool on) override { controlsEnabled = on; }
    void enableStepTexts() override {}
};

struct UpdateSequenceTest : ::testing::Test {
    RecordingView view;
    RecordingWindow window;
    UpdateSequence sequence{view, window};
    test::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();

    void setRequest(std::uint8_t command, std::uint16_t total, std::uint16_t left) {
        auto& shared = BootloaderLinkPeer::shared(Peer::link(sequence));
        shared.currentCommand = command;
        shared.sendsTotal = total;
        shared.sendsLeft = left;
    }
};

TEST_F(UpdateSequenceTest, WatchdogCountsStalledTicksOverTheWholeConnection) {
    Peer::startWatching(sequence, false);
    view.timers[TIMER_PROGRESS] = 500;
    setRequest(CMD_ERASE, 3, 2);

    // Progress between stalls does not reset the count: 14 stalled ticks in two runs.
    for (int i = 0; i < 8; ++i) sequence.onTimer(TIMER_PROGRESS);
    setRequest(CMD_ERASE, 3, 1);
    for (int i = 0; i < 8; ++i) sequence.onTimer(TIMER_PROGRESS);
    EXPECT_EQ(Peer::stallTicks(sequence), 14);
    EXPECT_TRUE(sequence.running());
    sequence.onTimer(1); // another timer is not the watchdog's
    EXPECT_EQ(Peer::stallTicks(sequence), 14);

    sequence.onTimer(TIMER_PROGRESS); // the 15th stalled tick
    EXPECT_FALSE(sequence.running());
    EXPECT_TRUE(view.timers.empty());
    EXPECT_EQ(window.lines, (Lines{"", ">> Timeout detected!", ">> The device may not be in bootloader mode",
                                   "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
    EXPECT_TRUE(window.controlsEnabled);
    EXPECT_EQ(view.outcomes.back(), UpdateOutcome::Stalled);
}

TEST_F(UpdateSequenceTest, ProgressOfLongFilesIsNotCutTo16Bits) {
    const auto path = dir / "long.hex";
    {
        std::ofstream out(path);
        out << ":020000041D00DD\n";
        for (int i = 0; i < 70000; ++i) out << ":0400000001020304F2\n";
        out << ":00000001FF\n";
    }
    ASSERT_TRUE(Peer::link(sequence).openFile(path.string()));
    Peer::startWatching(sequence, true);
    setRequest(CMD_PROGRAM, 3, 3);
    sequence.onTimer(TIMER_PROGRESS);
    EXPECT_EQ(view.progressMax, 70002);
}

TEST_F(UpdateSequenceTest, StaleAndRepeatedLinkMessagesAreIgnored) {
    // No worker runs: a late answer must not leave the sequence connected.
    LinkMessage late;
    late.command = CMD_QUERY;
    sequence.onLinkMessage(late);
    EXPECT_FALSE(Peer::connected(sequence));
    EXPECT_TRUE(window.lines.empty());

    // An answer to a request the sequence is not waiting for changes nothing.
    Peer::startWatching(sequence, false);
    Peer::setPending(sequence, CMD_VERIFY);
    Peer::answer(sequence, CMD_ERASE);
    Peer::answer(sequence, CMD_PROGRAM);
    EXPECT_TRUE(window.lines.empty());
    EXPECT_EQ(Peer::pending(sequence), CMD_VERIFY);
}

} // namespace
} // namespace tarvane
