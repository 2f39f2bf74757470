#include "firmware/Crc16.h"
#include "link/Protocol.h"
#include "tests/sim/SimTestHelpers.h"
#include "tests/support/SimProcess.h"
#include "usb/tcp/Socket.h"
#include "usb/tcp/TcpReportPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <thread>

namespace tarvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

std::unique_ptr<ReportPort> open(const SimProcess& sim) {
    std::string error;
    auto port = openTcpReportPort("127.0.0.1", sim.port(), error);
    EXPECT_TRUE(port) << error;
    return port;
}

// Sends a request and reads reports until one answer decodes; nothing after 1 s.
Bytes ask(ReportPort& port, const Bytes& payload) {
    for (const auto& r : requestReports(payload)) {
        if (!port.writeReport(r)) return {};
    }
    std::vector<Report> reports;
    const auto start = Clock::now();
    while (msSince(start) < 1000) {
        Report r{};
        if (port.readReport(r, 100) != ReadResult::Report) continue;
        reports.push_back(r);
        const auto answers = decodeAnswers(reports);
        if (!answers.empty()) return answers[0];
    }
    return {};
}

TEST(TcpReportPort, TalksToTarvaneSimAndTheFlashOutlivesTheConnection) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    EXPECT_EQ(sim.address(), "tcp:127.0.0.1:" + std::to_string(sim.port()));

    const Bytes data{0x10, 0x20, 0x30, 0x40};
    {
        auto port = open(sim);
        ASSERT_TRUE(port);
        EXPECT_EQ(ask(*port, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
        EXPECT_EQ(ask(*port, {CMD_ERASE}), Bytes{CMD_ERASE});
        EXPECT_EQ(ask(*port, programPayload({linearRecord(0x1D00), record(0, 0, data)})), Bytes{CMD_PROGRAM});
    }
    auto port = open(sim);
    ASSERT_TRUE(port);
    const auto answer = ask(*port, verifyPayload(0x9D000000, 4));
    ASSERT_EQ(answer.size(), 3u);
    EXPECT_EQ(answer[1] | answer[2] << 8, crc16(data.data(), data.size()));
}

TEST(TcpReportPort, ASecondClientIsRefusedAtOnceWithTheReasonAndTheFirstGoesOn) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    auto first = open(sim);
    ASSERT_TRUE(first);
    EXPECT_EQ(ask(*first, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));

    std::string error;
    const auto asked = Clock::now();
    EXPECT_FALSE(openTcpReportPort("127.0.0.1", sim.port(), error));
    const double refusedAfter = msSince(asked);
    EXPECT_EQ(error, "tcp:127.0.0.1:" + std::to_string(sim.port()) + ": the board is in use by another program");
    EXPECT_LT(refusedAfter, kTcpRefusalWaitMs) << "refused only when the wait ran out";
    std::printf("[ figure ] a second TCP client refused after %.1f ms\n", refusedAfter);
    EXPECT_EQ(ask(*first, {CMD_ERASE}), Bytes{CMD_ERASE});

    // Once the first has gone, the next is served.
    first.reset();
    auto next = open(sim);
    ASSERT_TRUE(next);
    EXPECT_EQ(ask(*next, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
}

TEST(TcpReportPort, ReportsArrivingInPiecesAreReassembled) {
    // Towards tarvane-sim: one query report in three pieces.
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    std::string error;
    Socket raw = Socket::connectTo("127.0.0.1", sim.port(), 2000, error);
    ASSERT_TRUE(raw.valid()) << error;
    const Report query = requestReports({CMD_QUERY})[0];
    const std::size_t cuts[] = {0, 5, 40, 64};
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        ASSERT_TRUE(raw.sendAll(query.data() + cuts[i], cuts[i + 1] - cuts[i], 500));
        std::this_thread::sleep_for(20ms);
    }
    Report answer{};
    std::size_t got = 0;
    const auto start = Clock::now();
    while (got < answer.size() && msSince(start) < 1000) {
        if (raw.waitReadable(100ms) != Socket::Wait::Ready) continue;
        const auto r = raw.receive(answer.data() + got, answer.size() - got);
        ASSERT_EQ(r.status, Socket::Received::Status::Data);
        got += r.bytes;
    }
    EXPECT_EQ(decodeAnswers({answer}), (std::vector<Bytes>{{CMD_QUERY, 1, 2}}));

    // From a board: the port hands out nothing until the report is whole.
    Socket listener = Socket::listenOn("127.0.0.1", 0, error);
    ASSERT_TRUE(listener.valid()) << error;
    auto port = openTcpReportPort("127.0.0.1", listener.localPort(), error);
    ASSERT_TRUE(port) << error;
    Socket board = listener.accept(1s);
    ASSERT_TRUE(board.valid());
    std::array<std::uint8_t, 64 + 10> stream{}; // a report and the start of the next
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_TRUE(board.sendAll(stream.data(), 30, 500));
    Report received{};
    EXPECT_EQ(port->readReport(received, 50), ReadResult::Timeout);
    ASSERT_TRUE(board.sendAll(stream.data() + 30, stream.size() - 30, 500));
    EXPECT_EQ(port->readReport(received, 500), ReadResult::Report);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), stream.begin()));
    EXPECT_EQ(port->readReport(received, 50), ReadResult::Timeout);
}

TEST(TcpReportPort, AClosedConnectionIsAnErrorWithoutBusyLoopOrSigpipe) {
    SimProcess sim({"--close-after", "2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    auto port = open(sim);
    ASSERT_TRUE(port);
    EXPECT_EQ(ask(*port, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
    const Report query = requestReports({CMD_QUERY})[0];
    EXPECT_TRUE(port->writeReport(query)); // the board's last request

    Report r{};
    auto t = Clock::now();
    ReadResult result = ReadResult::Timeout;
    for (int i = 0; i < 20 && result != ReadResult::Error; ++i) result = port->readReport(r, 50);
    EXPECT_EQ(result, ReadResult::Error);

    // Every later read sleeps out its limit; writes fail instead of raising SIGPIPE.
    t = Clock::now();
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(port->writeReport(query));
        EXPECT_EQ(port->readReport(r, 20), ReadResult::Error);
    }
    EXPECT_GE(msSince(t), 199.0);

    // The simulator goes on serving the next connection.
    auto again = open(sim);
    ASSERT_TRUE(again);
    EXPECT_EQ(ask(*again, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
    EXPECT_EQ(sim.stop(), 0);
}

TEST(TcpReportPort, ARefusedConnectionFailsQuicklyWithAReason) {
    std::string error;
    std::uint16_t unused = 0;
    {
        Socket probe = Socket::listenOn("127.0.0.1", 0, error);
        ASSERT_TRUE(probe.valid()) << error;
        unused = probe.localPort();
    }
    const auto t = Clock::now();
    EXPECT_EQ(openTcpReportPort("127.0.0.1", unused, error), nullptr);
    EXPECT_LT(msSince(t), 500.0);
    EXPECT_NE(error.find("refused"), std::string::npos) << error;
}

} // namespace
} // namespace tarvane::test
