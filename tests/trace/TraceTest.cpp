#include "link/FrameCodec.h"
#include "link/Protocol.h"
#include "sim/ReplayBoard.h"
#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/HexGen.h"
#include "trace/TraceFormat.h"
#include "trace/TraceReader.h"
#include "trace/TraceRecorder.h"
#include "trace/TracingPort.h"
#include "usb/HidBootDevice.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tarvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using Report = std::array<std::uint8_t, kReportSize>;

Report frameReport(Bytes payload) {
    payload.resize(payload.size() + 2);
    Report report{};
    encodeFrame(payload.data(), payload.size() - 2, report.data(), report.size());
    return report;
}

std::string line(std::int64_t micros, char direction, const Report& report) {
    std::string text;
    appendReportLine(text, micros, direction, report);
    return text;
}

std::string readAll(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(TracingPort, RecordsBothWaysAndAFileThatCannotBeWrittenIsRefusedAtOnce) {
    const test::ScratchDir scratch;
    const std::string path = (scratch.path() / "update.trace").string();
    OpenedTrace opened = openTrace(path, {"tarvane-update 9.9.9", "tarvane-update --trace \"a b\"", "sim"});
    ASSERT_TRUE(opened.trace) << opened.error;

    auto board = std::make_shared<SimulatedBoard>();
    HidBootDevice device;
    device.setBackend(DeviceAddress{}, tracedOpener([board](const DeviceAddress&, std::uint16_t, std::uint16_t,
                                                           std::string&) { return openSimReportPort(board); },
                                                    opened.trace));
    ASSERT_TRUE(device.find(kBootloaderVendorId, kBootloaderProductId));
    const Report query = frameReport({CMD_QUERY});
    device.writeFrame(query.data(), query.size());
    Report answer{};
    ASSERT_EQ(device.readReport(answer.data()), kReportSize);
    device.close();
    opened.trace.reset();

    const std::string text = readAll(path);
    EXPECT_EQ(text.rfind("# tarvane-trace 1\n# program: tarvane-update 9.9.9\n"
                         "# command: tarvane-update --trace \"a b\"\n# device: sim\n# connection 1 opened\n",
                         0),
              0u)
        << text;
    const TraceReading reading = parseTrace(text);
    ASSERT_TRUE(reading.ok()) << reading.errorLine << ": " << reading.error;
    ASSERT_EQ(reading.trace.connections.size(), 1u);
    const auto& reports = reading.trace.connections[0].reports;
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].direction, kToBoard);
    EXPECT_EQ(reports[0].bytes, query);
    EXPECT_EQ(reports[1].direction, kToHost);
    EXPECT_EQ(reports[1].bytes, answer);
    EXPECT_GE(reports[1].micros, reports[0].micros);
    EXPECT_NE(text.find("# connection 1 closed\n"), std::string::npos);

    EXPECT_EQ(openTrace((scratch.path() / "missing" / "x.trace").string(), {}).error, "No such file or directory");
    if (std::filesystem::exists("/dev/full")) {
        const OpenedTrace full = openTrace("/dev/full", {});
        EXPECT_FALSE(full.trace);
        EXPECT_EQ(full.error, "No space left on device");
    }
}

// Counts how the reports of a frame reach it.
class HandOverCountingPort final : public ReportPort {
public:
    bool writeReport(ReportView) override {
        ++singles;
        return true;
    }
    bool writeReports(std::span<const ReportBytes> reports) override {
        frames.push_back(reports.size());
        return true;
    }
    ReadResult readReport(ReportBuffer, int) override { return ReadResult::Timeout; }

    int singles = 0;
    std::vector<std::size_t> frames;
};

TEST(TracingPort, PassesAFramesReportsOnAsOneHandOverAndRecordsEachInOrder) {
    HandOverCountingPort* inner = nullptr;
    const auto recorder = std::make_shared<TraceRecorder>(TraceHeader{"p", "", "d"});
    HidBootDevice device;
    device.setBackend(DeviceAddress{},
                      tracedOpener(
                          [&](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
                              auto port = std::make_unique<HandOverCountingPort>();
                              inner = port.get();
                              return port;
                          },
                          recorder));
    ASSERT_TRUE(device.find(kBootloaderVendorId, kBootloaderProductId));
    Bytes frame(3 * kReportSize - 10);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i);
    device.writeFrame(frame.data(), frame.size());
    EXPECT_EQ(inner->frames, std::vector<std::size_t>{3});
    EXPECT_EQ(inner->singles, 0);
    device.close();

    const TraceReading reading = parseTrace(recorder->text());
    ASSERT_TRUE(reading.ok()) << reading.error;
    const auto& reports = reading.trace.connections.at(0).reports;
    ASSERT_EQ(reports.size(), 3u);
    for (std::size_t r = 0; r < reports.size(); ++r) {
        EXPECT_EQ(reports[r].direction, kToBoard);
        EXPECT_EQ(reports[r].bytes[0], static_cast<std::uint8_t>(r * kReportSize));
    }
}

TEST(TraceRecorder, KeepsTheLastConnectionAsTheFirstOfATraceWithinItsBound) {
    const Report query = frameReport({CMD_QUERY});
    constexpr std::size_t kBound = 1000; // four report lines
    TraceRecorder recorder({"tarvane-updater 9.9.9", "tarvane-updater", "sim"}, kBound);
    EXPECT_FALSE(recorder.hasConnection());
    EXPECT_TRUE(parseTrace(recorder.text()).ok());

    const std::uint32_t first = recorder.openConnection();
    recorder.report(10, kToBoard, query);
    recorder.closeConnection(first);
    // The second update replaces the first; what its port reports after
    // its close, and a late close of the first, are left out.
    const std::uint32_t second = recorder.openConnection();
    recorder.report(20, kToBoard, query);
    recorder.report(30, kToHost, query);
    recorder.connectionLost(second, "the device is gone");
    recorder.closeConnection(first);
    const std::string whileOpen = recorder.text();
    for (int i = 0; i < 10; ++i) recorder.report(40 + i, kToBoard, query);
    recorder.closeConnection(second);

    TraceReading reading = parseTrace(whileOpen);
    ASSERT_TRUE(reading.ok()) << reading.errorLine << ": " << reading.error;
    ASSERT_EQ(reading.trace.connections.size(), 1u);
    EXPECT_EQ(reading.trace.connections[0].reports.size(), 2u);
    EXPECT_EQ(reading.trace.connections[0].reports[0].micros, 20);
    EXPECT_TRUE(reading.trace.connections[0].lost);

    const std::string text = recorder.text();
    EXPECT_EQ(text.rfind("# tarvane-trace 1\n# program: tarvane-updater 9.9.9\n# command: tarvane-updater\n"
                         "# device: sim\n# connection 1 opened\n",
                         0),
              0u)
        << text;
    EXPECT_TRUE(recorder.truncated());
    EXPECT_NE(text.find("# the recording stops here"), std::string::npos);
    EXPECT_LT(text.size(), kBound + 600);
    reading = parseTrace(text);
    ASSERT_TRUE(reading.ok()) << reading.errorLine << ": " << reading.error;
    EXPECT_EQ(reading.trace.connections.size(), 1u);
    EXPECT_LT(reading.trace.connections[0].reports.size(), 12u);
    EXPECT_EQ(text.substr(text.size() - 22), "# connection 1 closed\n");
}

TEST(TraceReader, NamesTheFirstMalformedLine) {
    const std::string head = "# tarvane-trace 1\n# program: x\n# connection 1 opened\n";
    const std::string good = line(1500, '>', frameReport({CMD_QUERY}));
    std::string badByte = good;
    badByte.replace(std::string("0.001500 >").size() + 3 * 3 + 1, 2, "zz"); // the fourth byte
    struct Case {
        std::string text;
        std::size_t line;
        std::string hint;
    };
    const std::vector<Case> cases{
        {"tarvane trace\n", 1, "not a trace"},
        {head + "0.0015 > 00\n", 4, "six decimals"},
        {head + "0.001500 = 00\n", 4, "direction"},
        {head + good.substr(0, good.size() - 4) + "\n", 4, "63 bytes"},
        {head + good.substr(0, good.size() - 1) + " 00\n", 4, "more than 64"},
        {head + badByte, 4, "byte 4"},
        {head + good + line(1000, '<', {}), 5, "backwards"},
        {"# tarvane-trace 1\n" + good, 2, "outside a connection"},
        {head + "# connection 3 opened\n", 4, "opens before"},
        {head + "# connection 1 closed\n# connection 3 opened\n", 5, "2 comes next"},
    };
    for (const Case& c : cases) {
        const TraceReading reading = parseTrace(c.text);
        EXPECT_FALSE(reading.ok()) << c.text;
        EXPECT_EQ(reading.errorLine, c.line) << c.text;
        EXPECT_NE(reading.error.find(c.hint), std::string::npos) << reading.error;
    }
    EXPECT_TRUE(parseTrace(head + good + "# connection 1 closed\n").ok());
}

TEST(ReplayBoard, AnswersTheNthSendAsTheNthRecordingAndDropsTheConnectionWhereItWasLost) {
    const Report erase = frameReport({CMD_ERASE});
    const Report answer = frameReport({CMD_ERASE});
    // The first erase went unanswered; its re-send was answered 40 ms later,
    // and then the host lost the board.
    const std::string text = "# tarvane-trace 1\n# connection 1 opened\n" + line(1000, '>', erase) +
                             line(1001000, '>', erase) + line(1041000, '<', answer) +
                             "# connection 1 lost: the device is gone\n# connection 1 closed\n";
    const TraceReading reading = parseTrace(text);
    ASSERT_TRUE(reading.ok()) << reading.error;
    std::vector<std::string> notes;
    ReplayBoard board(replayScript(reading.trace), [&](const std::string& note) { notes.push_back(note); });
    // A probe that sends nothing (--wait) leaves the recorded connection to the next one.
    board.connect();
    board.connect();

    const auto t0 = Clock::now();
    Report got{};
    board.receiveReport(frameReport({CMD_QUERY}), t0);
    board.receiveReport(erase, t0);
    EXPECT_FALSE(board.nextReportTime());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("not in the trace: command 0x01"), std::string::npos) << notes[0];

    const auto t1 = t0 + std::chrono::seconds(1);
    board.receiveReport(erase, t1);
    ASSERT_TRUE(board.nextReportTime());
    EXPECT_EQ(*board.nextReportTime(), t1 + std::chrono::milliseconds(40));
    EXPECT_FALSE(board.takeReport(got, t1 + std::chrono::milliseconds(39)));
    EXPECT_FALSE(board.connectionClosed());
    ASSERT_TRUE(board.takeReport(got, t1 + std::chrono::milliseconds(40)));
    EXPECT_EQ(got, answer);
    EXPECT_TRUE(board.connectionClosed());
    EXPECT_EQ(board.requestCount(), 3u);

    // A second connection was never recorded: it gets nothing.
    board.connect();
    EXPECT_FALSE(board.connectionClosed());
    board.receiveReport(erase, t1);
    EXPECT_FALSE(board.nextReportTime());
}

} // namespace
} // namespace tarvane
