#include "link/Protocol.h"
#include "sim/BoardTiming.h"
#include "sim/SimDevicePort.h"
#include "sim/SimReportPort.h"
#include "tests/sim/SimTestHelpers.h"
#include "usb/PortFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void write(ReportPort& port, const Bytes& payload) {
    for (const auto& r : requestReports(payload)) ASSERT_TRUE(port.writeReport(r));
}

// Reads until one answer is decoded or `limitMs` passes; the answer, or nothing.
Bytes readAnswer(ReportPort& port, int limitMs) {
    const auto start = Clock::now();
    std::vector<Report> reports;
    while (msSince(start) < limitMs) {
        Report r{};
        if (port.readReport(r, 100) == ReadResult::Report) {
            reports.push_back(r);
            const auto answers = decodeAnswers(reports);
            if (!answers.empty()) return answers[0];
        }
    }
    return {};
}

TEST(SimReportPort, ReadsWaitForTheDueAnswerButNeverPastTheirLimit) {
    SimFaults faults;
    faults.answerDelay = 150ms;
    auto board = std::make_shared<SimulatedBoard>(faults);
    auto port = openSimReportPort(board);
    Report r{};

    auto t = Clock::now();
    EXPECT_EQ(port->readReport(r, 60), ReadResult::Timeout);
    EXPECT_GE(msSince(t), 59.0);
    EXPECT_LT(msSince(t), 90.0);

    write(*port, {CMD_QUERY});
    t = Clock::now();
    EXPECT_EQ(port->readReport(r, 100), ReadResult::Timeout);
    EXPECT_EQ(port->readReport(r, 100), ReadResult::Report);
    EXPECT_GE(msSince(t), 149.0);
    EXPECT_LT(msSince(t), 190.0) << "a due answer ends the wait at once";
    EXPECT_EQ(decodeAnswers({r}), (std::vector<Bytes>{{CMD_QUERY, 1, 2}}));
}

TEST(SimReportPort, PacesReportsAndFlashWorkInRealTime) {
    SimFaults faults;
    faults.usbTiming = true;
    auto board = std::make_shared<SimulatedBoard>(faults);
    auto port = openSimReportPort(board);

    std::vector<Bytes> records{linearRecord(0x1D00)};
    for (std::uint16_t i = 0; i < 10; ++i) records.push_back(record(0, static_cast<std::uint16_t>(i * 16), Bytes(16, 0x5A)));
    const auto reports = requestReports(programPayload(records));
    ASSERT_EQ(reports.size(), 4u);

    auto t = Clock::now();
    for (const auto& r : reports) ASSERT_TRUE(port->writeReport(r));
    EXPECT_GE(msSince(t), 4.0) << "one report per millisecond";
    EXPECT_LT(msSince(t), 25.0);
    EXPECT_EQ(readAnswer(*port, 500), Bytes{CMD_PROGRAM});
    EXPECT_GE(msSince(t), 6.0) << "programming 1 ms, then the answer's slot";
    EXPECT_EQ(board->flashByte(0x9D000000 + 159), 0x5A);

    t = Clock::now();
    write(*port, {CMD_ERASE});
    Report r{};
    EXPECT_EQ(port->readReport(r, 100), ReadResult::Timeout);
    EXPECT_EQ(readAnswer(*port, 1000), Bytes{CMD_ERASE});
    const auto expected = std::chrono::duration<double, std::milli>(kEraseTime + 2ms).count();
    EXPECT_GE(msSince(t), expected - 1);
    EXPECT_LT(msSince(t), expected + 60);
}

TEST(SimReportPort, AClosedBoardIsAnErrorThatSleepsOutItsLimit) {
    SimFaults faults;
    faults.closeAfter = 2;
    auto board = std::make_shared<SimulatedBoard>(faults);
    auto port = openSimReportPort(board);
    write(*port, {CMD_QUERY});
    EXPECT_EQ(readAnswer(*port, 200), (Bytes{CMD_QUERY, 1, 2}));
    write(*port, {CMD_QUERY});

    Report r{};
    const auto t = Clock::now();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(port->readReport(r, 20), ReadResult::Error);
    EXPECT_GE(msSince(t), 99.0);
    EXPECT_FALSE(port->writeReport(r));

    // Opening the board again is a new connection.
    port = openSimReportPort(board);
    write(*port, {CMD_QUERY});
    EXPECT_EQ(readAnswer(*port, 200), (Bytes{CMD_QUERY, 1, 2}));
    EXPECT_EQ(board->connectionCount(), 2u);
}

TEST(SimReportPort, TheBoardCanBeInspectedWhileAWorkerDrivesIt) {
    auto board = std::make_shared<SimulatedBoard>();
    std::atomic<int> answered{0};
    std::thread worker([port = openSimReportPort(board), &answered] {
        for (std::uint16_t i = 0; i < 200; ++i) {
            const auto payload = programPayload({linearRecord(0x1D00), record(0, i, {static_cast<std::uint8_t>(i)})});
            for (const auto& r : requestReports(payload)) port->writeReport(r);
            Report r{};
            if (port->readReport(r, 100) == ReadResult::Report) ++answered;
        }
    });
    std::uint32_t seen = 0;
    while (seen < 200) {
        seen = board->requestCount(CMD_PROGRAM);
        EXPECT_EQ(board->flash().size(), 512u * 1024u);
        EXPECT_LE(board->requestLog().size(), 200u);
    }
    worker.join();
    EXPECT_EQ(answered.load(), 200);
    EXPECT_EQ(board->flashByte(0x9D000000 + 199), 199);
}

TEST(SimDevicePort, TheSimAddressReachesOneBoardPerProcessOnceRegistered) {
    DeviceAddress sim;
    sim.kind = DeviceAddress::Kind::Sim;
    std::string detail;
    setSimulatedBoardOpener(nullptr);
    EXPECT_EQ(openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail), nullptr);
    EXPECT_EQ(detail, "this program offers no device at \"sim\"");

    setSimulatedBoardOpener(simulatedBoardOpener());
    const auto connections = processSimulatedBoard()->connectionCount();
    {
        auto port = openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail);
        ASSERT_TRUE(port);
        write(*port, {CMD_ERASE});
        EXPECT_EQ(readAnswer(*port, 2000), Bytes{CMD_ERASE});
        write(*port, programPayload({linearRecord(0x1D00), record(0, 0, {0x5A})}));
        EXPECT_EQ(readAnswer(*port, 2000), Bytes{CMD_PROGRAM});
    }
    // The next open meets the same board, flash and all.
    EXPECT_EQ(processSimulatedBoard()->flashByte(0x9D000000), 0x5A);
    auto again = openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail);
    ASSERT_TRUE(again);
    EXPECT_EQ(processSimulatedBoard()->connectionCount(), connections + 2);

    // The other kinds keep their own back-ends.
    DeviceAddress tcp;
    tcp.kind = DeviceAddress::Kind::Tcp;
    tcp.host = "127.0.0.1";
    tcp.port = 1;
    EXPECT_EQ(openReportPort(tcp, kBootloaderVendorId, kBootloaderProductId, detail), nullptr);
    EXPECT_NE(detail.find("refused"), std::string::npos) << detail;
}

} // namespace
} // namespace tarvane::test
