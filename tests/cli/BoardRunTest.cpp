// One board's run as a terminal shows it, log and bar on one screen.
#include "cli/BoardRun.h"
#include "cli/PlainOutput.h"
#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvane {
namespace {

TEST(BoardRun, NoBarIsDrawnAfterAFailureLine) {
    SimFaults faults;
    faults.wrongVerifyCrc = true;
    auto board = std::make_shared<SimulatedBoard>(faults);
    const PortOpener opener = [board](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return openSimReportPort(board);
    };
    // Standard output and the terminal's standard error on one screen, in order.
    std::ostringstream screen;
    BoardRun run({DeviceAddress{}, opener}, std::make_unique<PlainOutput>(screen, screen, true));
    UpdateOptions options;
    options.board = BoardKind::Interface;
    options.file = TARVANE_SOURCE_DIR "/tests/e2e/traces/small.hex";
    const std::atomic<bool> stop{false};
    run.run(options, loadHexFile(options.file), stop);

    EXPECT_EQ(run.outcome(), UpdateOutcome::VerificationFailed);
    const std::string text = screen.str();
    const std::size_t bar = text.find("\r[");
    const std::size_t failed = text.find(">> Verification failed!");
    ASSERT_NE(bar, std::string::npos) << "the bar was drawn while programming";
    ASSERT_NE(failed, std::string::npos) << text;
    EXPECT_EQ(text.find("\r[", failed), std::string::npos) << text.substr(failed);
}

} // namespace
} // namespace tarvane
