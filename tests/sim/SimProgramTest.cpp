#include "link/Protocol.h"
#include "tests/sim/SimTestHelpers.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "usb/tcp/TcpReportPort.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

namespace tarvane::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sends a request and collects the answers that arrive within `waitMs`.
std::vector<Bytes> exchange(ReportPort& port, const Bytes& payload, int waitMs) {
    for (const auto& r : requestReports(payload)) EXPECT_TRUE(port.writeReport(r));
    std::vector<Report> reports;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    while (Clock::now() < end) {
        Report r{};
        if (port.readReport(r, 20) == ReadResult::Report) reports.push_back(r);
    }
    return decodeAnswers(reports);
}

TEST(TarvaneSim, LogsEveryRequestAndDumpsTheFlashWhenAConnectionEnds) {
    ScratchDir dir;
    const auto log = dir.path() / "requests.log";
    const auto dump = dir.path() / "flash.bin";
    std::ofstream(log) << "an earlier run\n";
    SimProcess sim({"--log", log.string(), "--dump", dump.string(), "--silent", "verify"});
    ASSERT_TRUE(sim.started()) << sim.error();

    std::string error;
    auto port = openTcpReportPort("127.0.0.1", sim.port(), error);
    ASSERT_TRUE(port) << error;
    const Bytes data{0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(exchange(*port, {CMD_ERASE}, 100).size(), 1u);
    const auto program = programPayload({linearRecord(0x1D00), record(0, 0x0100, data)});
    EXPECT_EQ(exchange(*port, program, 100).size(), 1u);
    EXPECT_TRUE(exchange(*port, verifyPayload(0x9D000000, 0x200), 100).empty());
    EXPECT_TRUE(exchange(*port, {CMD_START_APP}, 50).empty());
    port.reset();
    EXPECT_EQ(sim.stop(), 0);

    const auto lines = splitLines(readFile(log));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "an earlier run");
    const std::regex shape(R"(t=\d+\.\d{3}ms cmd=(\d+) len=(\d+) (\S+))");
    const std::string expected[][3] = {{"2", "1", "answered"},
                                       {"3", std::to_string(program.size()), "answered"},
                                       {"4", "11", "silent"},
                                       {"5", "1", "unanswered"}};
    for (std::size_t i = 0; i < 4; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i + 1], m, shape)) << lines[i + 1];
        EXPECT_EQ(m[1], expected[i][0]);
        EXPECT_EQ(m[2], expected[i][1]);
        EXPECT_EQ(m[3], expected[i][2]);
    }

    const std::string flash = readFile(dump);
    ASSERT_EQ(flash.size(), 512u * 1024u);
    EXPECT_EQ(flash.substr(0x100, 4), std::string("\xDE\xAD\xBE\xEF"));
    EXPECT_EQ(flash.find_first_not_of('\xFF'), 0x100u);
    EXPECT_EQ(flash.find_last_not_of('\xFF'), 0x103u);
}

TEST(TarvaneSim, RefusesBadOptions) {
    const std::string sim = std::string(TARVANE_BIN_DIR) + "/tarvane-sim";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"--listen", "127.0.0.1"},
             {"--listen", "127.0.0.1:0", "--silent", "reboot"},
             {"--listen", "127.0.0.1:0", "--answer-from", "query:0"},
             {"--listen", "127.0.0.1:0", "--drop-every", "often"},
             {"--listen", "127.0.0.1:0", "--gadget", "/dev/hidg0"},
         }) {
        const auto result = runProcess(sim, args, 10);
        EXPECT_EQ(result.exitCode, 2) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(result.err.empty());
        EXPECT_TRUE(result.out.empty());
    }
    // A device that cannot be opened is a failure, not a usage error.
    const auto missing = runProcess(sim, {"--gadget", "/nonexistent/hidg0"}, 10);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "tarvane-sim: cannot open /nonexistent/hidg0: No such file or directory\n");
    EXPECT_TRUE(missing.out.empty());
}

} // namespace
} // namespace tarvane::test
