#include "startup/StartUp.h"

#include "link/Protocol.h"
#include "link/WorkerPacing.h"
#include "usb/PortFactory.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace tarvane::test {
namespace {

// Until a front end starts up, `sim` opens nothing and workers pace plainly;
// after it, `sim` is the process's board and, on Windows, every worker holds
// the fine timer.
TEST(StartUp, FillsThePortOpenersAndTheWorkersPacing) {
    DeviceAddress sim;
    sim.kind = DeviceAddress::Kind::Sim;
    std::string detail;
    EXPECT_EQ(openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail), nullptr);

    startUpFrontEnd();
    EXPECT_NE(openReportPort(sim, kBootloaderVendorId, kBootloaderProductId, detail), nullptr) << detail;
    const std::unique_ptr<WorkerPacing> pacing = makeWorkerPacing();
    const WorkerPacing& made = *pacing;
#ifdef _WIN32
    EXPECT_NE(typeid(made), typeid(WorkerPacing));
#else
    EXPECT_EQ(typeid(made), typeid(WorkerPacing));
#endif
}

} // namespace
} // namespace tarvane::test
