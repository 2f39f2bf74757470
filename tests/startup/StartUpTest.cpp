#include "startup/StartUp.h"

#include "link/Protocol.h"
#include "link/WorkerPacing.h"
#include "res/ProgramLine.h"
#include "tests/support/HexGen.h"
#include "usb/PortFactory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <typeinfo>

namespace tarvane::test {
namespace {

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Until a front end starts up, `sim` opens nothing and workers pace plainly;
// after it, `sim` is the process's board and, on Windows, every worker holds
// the fine timer.
TEST(StartUp, FillsThePortOpenersAndTheWorkersPacing) {
    DeviceAddress sim;
    sim.kind = DeviceAddress::Kind::Sim;
    std::string detail;
    EXPECT_EQ(openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail), nullptr);

    startUp(FrontEnd::Terminal, "tarvane-update", 0, nullptr);
    EXPECT_NE(openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail), nullptr) << detail;
    const std::unique_ptr<WorkerPacing> pacing = makeWorkerPacing();
    const WorkerPacing& made = *pacing;
#ifdef _WIN32
    EXPECT_NE(typeid(made), typeid(WorkerPacing));
#else
    EXPECT_EQ(typeid(made), typeid(WorkerPacing));
#endif
}

// A window reads its device and trace from the environment and is told, in
// order, what it cannot use; the terminal tool leaves both to its options.
TEST(StartUp, AWindowsDeviceAndTraceComeFromTheEnvironmentWithItsWarnings) {
    const ScratchDir scratch;
    const std::string unwritable = (scratch.path() / "no-such-folder" / "window.trace").string();
    setEnvironment("TARVANE_DEVICE", "bluetooth");
    setEnvironment("TARVANE_TRACE", unwritable);
    StartUp start = startUp(FrontEnd::Window, "tarvane-updater", 0, nullptr);
    ASSERT_EQ(start.warnings.size(), 2u);
    EXPECT_EQ(start.warnings[0].rfind("TARVANE_DEVICE: ", 0), 0u) << start.warnings[0];
    EXPECT_NE(start.warnings[0].find("\nNo device will be used."), std::string::npos) << start.warnings[0];
    EXPECT_EQ(start.warnings[1].rfind("TARVANE_TRACE: cannot write the trace file " + unwritable + ": ", 0), 0u)
        << start.warnings[1];
    EXPECT_NE(start.warnings[1].find("\nThe updater runs without a trace."), std::string::npos) << start.warnings[1];
    std::string detail;
    EXPECT_EQ(start.opener(start.device, kBootloaderVendorId, kBootloaderProductId, detail), nullptr);
    EXPECT_EQ(detail.rfind("TARVANE_DEVICE: ", 0), 0u) << detail;

    EXPECT_TRUE(startUp(FrontEnd::Terminal, "tarvane-update", 0, nullptr).warnings.empty());

    const std::string tracePath = (scratch.path() / "window.trace").string();
    setEnvironment("TARVANE_DEVICE", "sim");
    setEnvironment("TARVANE_TRACE", tracePath);
    start = startUp(FrontEnd::Window, "tarvane-updater", 0, nullptr);
    EXPECT_TRUE(start.warnings.empty());
    ASSERT_EQ(start.device.kind, DeviceAddress::Kind::Sim);
    EXPECT_NE(start.opener(start.device, kBootloaderVendorId, kBootloaderProductId, detail), nullptr) << detail;
    std::ifstream file(scratch.path() / "window.trace", std::ios::binary);
    const std::string trace{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(trace.find("# program: " + programLine("tarvane-updater") + "\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("# device: sim\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("# connection 1 closed\n"), std::string::npos) << trace;
}

} // namespace
} // namespace tarvane::test
