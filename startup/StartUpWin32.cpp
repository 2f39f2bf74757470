#include "startup/StartUp.h"

#include "link/WorkerPacing.h"
#include "sim/SimDevicePort.h"
#include "win32/FineTimer.h"

#include <memory>

namespace tarvane {
namespace {

// The plain pacing, with the system timer at 1 ms while the worker runs, so
// that an idle pass pauses 1 ms and not a whole tick; the period goes back
// when the worker stops.
class FineTimerPacing final : public WorkerPacing {
    FineTimer timer_;
};

} // namespace

void startUpFrontEnd() {
    registerSimulatedBoardPort();
    setWorkerPacing([] { return std::make_unique<FineTimerPacing>(); });
}

} // namespace tarvane
