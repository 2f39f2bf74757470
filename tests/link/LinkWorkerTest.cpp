#include "link/BootloaderLink.h"
#include "firmware/HexFile.h"
#include "tests/support/ScriptedPort.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace tarvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Clock;
using test::ScriptedBoard;

// Collects what the worker posts, as a UI thread's queue would.
struct Inbox {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<Clock::time_point, LinkMessage>> messages;

    LinkNotifier notifier() {
        return [this](LinkMessage m) {
            std::lock_guard lock(mutex);
            messages.emplace_back(Clock::now(), std::move(m));
            cv.notify_all();
        };
    }
    bool waitFor(std::size_t n, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit, [&] { return messages.size() >= n; });
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return messages.size();
    }
};

struct LinkWorker : ::testing::Test {
    std::shared_ptr<ScriptedBoard> board = std::make_shared<ScriptedBoard>();
    Inbox inbox;
    BootloaderLink link;

    void connect() {
        link.useDevice(DeviceAddress{}, test::scriptedOpener(board));
        ASSERT_TRUE(link.findDevice(kBootloaderVendorId, kBootloaderProductId));
        link.setNotifier(inbox.notifier());
        link.startWorker();
    }
    void TearDown() override { link.stopWorker(); }
};

TEST_F(LinkWorker, UnansweredRequestIsSentNTimesApartThenTimedOutOnce) {
    connect();
    const auto built = Clock::now();
    ASSERT_TRUE(link.sendRequest(CMD_ERASE, 3, 300));
    ASSERT_TRUE(inbox.waitFor(1, 3s));
    ASSERT_EQ(board->count(CMD_ERASE), 3u);
    const auto sends = board->requestsSoFar();
    // Within one poll of the worker, with room for a loaded machine; far below a whole time-out.
    EXPECT_LT(sends[0].first - built, 250ms);
    for (std::size_t i = 1; i < sends.size(); ++i) {
        const auto gap = sends[i].first - sends[i - 1].first;
        EXPECT_GE(gap, 295ms);
        EXPECT_LT(gap, 420ms);
    }
    const auto& [when, message] = inbox.messages[0];
    EXPECT_EQ(message.kind, LinkMessage::Kind::Timeout);
    EXPECT_EQ(message.command, CMD_ERASE);
    EXPECT_LT(when - sends.back().first, 250ms);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(inbox.size(), 1u);
    EXPECT_EQ(board->count(CMD_ERASE), 3u);
}

TEST_F(LinkWorker, AnswerBetweenResendsStopsThemAndArrivesAsACopy) {
    int queries = 0;
    board->answer = [&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == CMD_QUERY && ++queries == 3) return {ScriptedBoard::frame({CMD_QUERY, 0x01, 0x07})};
        return {};
    };
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_QUERY, 30, 50));
    ASSERT_TRUE(inbox.waitFor(1, 2s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(board->count(CMD_QUERY), 3u);
    ASSERT_EQ(inbox.size(), 1u);
    const LinkMessage& m = inbox.messages[0].second;
    EXPECT_EQ(m.kind, LinkMessage::Kind::Response);
    EXPECT_EQ(m.command, CMD_QUERY);
    EXPECT_EQ(m.data, (Bytes{0x01, 0x07}));
    EXPECT_EQ(m.connection, link.connection());
    EXPECT_EQ(link.progress().sendsLeft, 0);
}

TEST_F(LinkWorker, BadCrcAndRepeatedAnswersCountAsNothing) {
    int erases = 0;
    board->answer = [&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != CMD_ERASE) return {};
        Bytes good = ScriptedBoard::frame({CMD_ERASE});
        if (++erases == 1) {
            Bytes bad = good;
            bad[bad.size() - 2] ^= 0x5A;
            return {bad};
        }
        return {good, good}; // the second copy answers nothing pending
    };
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_ERASE, 3, 200));
    ASSERT_TRUE(inbox.waitFor(1, 2s));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(board->count(CMD_ERASE), 2u);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox.messages[0].second.kind, LinkMessage::Kind::Response);
}

TEST_F(LinkWorker, StartApplicationTimeoutPostsNothingAndUnknownAnswerEndsRequestSilently) {
    board->answer = [&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == CMD_ERASE) return {ScriptedBoard::frame({0x7E})};
        return {};
    };
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_START_APP, 3, 1000));
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(board->count(CMD_START_APP), 1u);
    EXPECT_EQ(inbox.size(), 0u);

    ASSERT_TRUE(link.sendRequest(CMD_ERASE, 3, 100));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(board->count(CMD_ERASE), 1u);
    EXPECT_EQ(link.progress().sendsLeft, 0);
    EXPECT_EQ(inbox.size(), 0u);
}

TEST_F(LinkWorker, StopDuringAPollIsQuickAndANewConnectionStartsClean) {
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_QUERY, 2, 1000));
    std::this_thread::sleep_for(150ms); // one send made, in the middle of a poll
    const auto t0 = Clock::now();
    link.stopWorker();
    EXPECT_LT(Clock::now() - t0, 200ms);
    EXPECT_FALSE(link.workerRunning());

    // Stopped while awaiting: nothing of it may re-send or time out now.
    const std::size_t sent = board->count(CMD_QUERY);
    link.startWorker();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(board->count(CMD_QUERY), sent);
    EXPECT_EQ(inbox.size(), 0u);
}

TEST_F(LinkWorker, VanishedDeviceGivesATimeoutWithoutSpinning) {
    connect();
    board->breakConnection();
    ASSERT_TRUE(link.sendRequest(CMD_ERASE, 3, 300));
    ASSERT_TRUE(inbox.waitFor(1, 3s));
    EXPECT_EQ(inbox.messages[0].second.kind, LinkMessage::Kind::Timeout);
    // About one read per 100 ms; a spinning worker would make thousands.
    EXPECT_LT(board->readCount(), 40);
}

TEST_F(LinkWorker, AnsweredWorkerStillPausesWhenReadsDoNotWait) {
    // Only the worker's own pause keeps it from spinning on such a port; the
    // passes that sent and received must not leave it without one.
    board->readsReturnAtOnce = true;
    board->answer = [](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] == CMD_QUERY) return {ScriptedBoard::frame({CMD_QUERY, 0x01})};
        return {};
    };
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_QUERY, 3, 200));
    ASSERT_TRUE(inbox.waitFor(1, 2s));
    const int before = board->readCount();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(300ms);
    const int reads = board->readCount() - before;
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    // At most one read per 1 ms pause; a spinning worker makes many thousands.
    EXPECT_LE(reads, elapsedMs + 10);
}

TEST_F(LinkWorker, ProgramChainStreamsTheWholeFileThenReportsOnce) {
    test::ScratchDir scratch;
    const auto& dir = scratch.path();
    std::string text = ":020000041D00DD\n";
    for (int i = 0; i < 100; ++i) text += ":0400000001020304F2\n";
    text += ":00000001FF\n";
    std::ofstream(dir / "f.hex") << text;
    ASSERT_TRUE(link.useFile(loadHexFile((dir / "f.hex").string())->bytes));

    std::size_t records = 0;
    board->answer = [&](const Bytes& r) -> std::vector<Bytes> {
        if (r[0] != CMD_PROGRAM) return {};
        for (std::size_t pos = 1; pos < r.size(); pos += 5u + r[pos]) ++records;
        return {ScriptedBoard::frame({CMD_PROGRAM})};
    };
    connect();
    ASSERT_TRUE(link.sendRequest(CMD_PROGRAM, 3, 1000));
    ASSERT_TRUE(inbox.waitFor(1, 5s));
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox.messages[0].second.command, CMD_PROGRAM);
    EXPECT_EQ(records, 102u);
    EXPECT_EQ(board->count(CMD_PROGRAM), 10u); // 102 records in batches of 11
    EXPECT_EQ(link.progress().linesConsumed, 102u);
}

} // namespace
} // namespace tarvane
