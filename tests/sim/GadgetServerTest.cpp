#include "link/Protocol.h"
#include "sim/GadgetServer.h"
#include "sim/SimServer.h"
#include "tests/sim/SimTestHelpers.h"
#include "tests/support/HexGen.h"
#include "usb/tcp/TcpReportPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <thread>

namespace tarvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A SOCK_SEQPACKET pair keeps report boundaries as /dev/hidgN does: `device`
// is what the server gets, the port itself is the host's end.
class FakeGadget final : public ReportPort {
public:
    FakeGadget() {
        int fds[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
        device.reset(fds[0]);
        host_.reset(fds[1]);
        EXPECT_EQ(::fcntl(device.get(), F_SETFL, O_NONBLOCK), 0);
    }

    bool writeReport(ReportView report) override {
        return ::write(host_.get(), report.data(), report.size()) == static_cast<ssize_t>(report.size());
    }

    // Only a whole 64-byte report counts.
    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        pollfd p{host_.get(), POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return ReadResult::Timeout;
        const ssize_t n = ::read(host_.get(), report.data(), report.size());
        return n == static_cast<ssize_t>(report.size()) ? ReadResult::Report : ReadResult::Error;
    }

    UniqueFd device;

private:
    UniqueFd host_;
};

// A server on its own thread; stop() sets its flag and says how long it took to end.
class ServerThread {
public:
    explicit ServerThread(std::function<void(const std::atomic<bool>&)> serve)
        : thread_([this, serve = std::move(serve)] { serve(stop_); }) {}
    ~ServerThread() { stop(); }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    Clock::duration stop() {
        const auto asked = Clock::now();
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
        return Clock::now() - asked;
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sends a request and waits up to 1 s for its answer; empty when none came.
Bytes ask(ReportPort& port, const Bytes& payload) {
    for (const auto& r : requestReports(payload)) {
        if (!port.writeReport(r)) return {};
    }
    std::vector<Report> reports;
    const auto end = Clock::now() + 1s;
    while (Clock::now() < end) {
        Report r{};
        if (port.readReport(r, 50) != ReadResult::Report) continue;
        reports.push_back(r);
        if (const auto answers = decodeAnswers(reports); !answers.empty()) return answers[0];
    }
    return {};
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(GadgetServer, AnswersReportForReportAndDumpsTheFlashOnceQuietAndAtExit) {
    ScratchDir dir;
    const auto dump = dir.path() / "flash.bin";
    SimulatedBoard board;
    FakeGadget gadget;
    std::ostringstream notes;
    ServerThread server([&](const std::atomic<bool>& stop) {
        serveBoardOnGadget(board, gadget.device, dump.string(), stop, notes);
    });

    const auto first = Clock::now();
    const Bytes data{0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(ask(gadget, programPayload({linearRecord(0x1D00), record(0, 0x0100, data)})), Bytes{CMD_PROGRAM});
    EXPECT_EQ(ask(gadget, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
    // Nothing can be written before the board has been quiet for the whole period.
    if (Clock::now() - first < kGadgetDumpQuiet - 50ms) {
        EXPECT_FALSE(std::filesystem::exists(dump));
    }

    while (!std::filesystem::exists(dump) && Clock::now() - first < 3s) std::this_thread::sleep_for(10ms);
    EXPECT_GE(Clock::now() - first, kGadgetDumpQuiet);
    const std::string flash = readFile(dump);
    ASSERT_EQ(flash.size(), 512u * 1024u);
    EXPECT_EQ(flash.substr(0x100, 4), std::string("\xDE\xAD\xBE\xEF"));
    EXPECT_EQ(flash.find_last_not_of('\xFF'), 0x103u);

    std::filesystem::remove(dump);
    EXPECT_LT(server.stop(), 500ms);
    EXPECT_TRUE(std::filesystem::exists(dump)) << "no dump at exit";
    EXPECT_EQ(board.connectionCount(), 1u);
    EXPECT_EQ(notes.str(), "");
}

// Both transports stop reading after N requests, yet still send what is
// queued (the USB timing model makes the last answer due after the stop)
// and still end promptly.
TEST(SimServers, StopReadingAfterLeavesLaterReportsUnread) {
    SimFaults faults;
    faults.stopReadingAfter = 2;
    faults.usbTiming = true;
    const auto checkStopsReading = [](SimulatedBoard& board, ReportPort& host, ServerThread& server) {
        EXPECT_EQ(ask(host, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
        EXPECT_EQ(ask(host, {CMD_QUERY}), (Bytes{CMD_QUERY, 1, 2}));
        EXPECT_TRUE(board.readingStopped());
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.writeReport(requestReports({CMD_QUERY})[0]));
        Report r{};
        EXPECT_EQ(host.readReport(r, 300), ReadResult::Timeout);
        EXPECT_EQ(board.requestCount(), 2u);
        EXPECT_LT(server.stop(), 500ms);
    };

    {
        SimulatedBoard board(faults);
        FakeGadget gadget;
        std::ostringstream notes;
        ServerThread server([&](const std::atomic<bool>& stop) {
            serveBoardOnGadget(board, gadget.device, "", stop, notes);
        });
        checkStopsReading(board, gadget, server);
    }
    {
        SimulatedBoard board(faults);
        std::string error;
        Socket listener = Socket::listenOn("127.0.0.1", 0, error);
        ASSERT_TRUE(listener.valid()) << error;
        std::ostringstream notes;
        ServerThread server([&](const std::atomic<bool>& stop) { serveBoard(board, listener, "", stop, notes); });
        auto port = openTcpReportPort("127.0.0.1", listener.localPort(), error);
        ASSERT_TRUE(port) << error;
        checkStopsReading(board, *port, server);
    }
}

} // namespace
} // namespace tarvane::test
