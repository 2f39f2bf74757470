#include "win32/FineTimer.h"

#include "link/WorkerPacing.h"

#include <windows.h>
#include <timeapi.h>

#include <memory>

namespace tarvane {
namespace {

// The plain pacing, with the system timer at 1 ms for as long as it lives.
class FineTimerPacing final : public WorkerPacing {
public:
    FineTimerPacing() : granted_(timeBeginPeriod(kPeriodMs) == TIMERR_NOERROR) {}
    ~FineTimerPacing() override {
        if (granted_) timeEndPeriod(kPeriodMs);
    }

private:
    static constexpr UINT kPeriodMs = 1;
    bool granted_;
};

} // namespace

void useFineTimerInLinkWorkers() {
    setWorkerPacing([] { return std::make_unique<FineTimerPacing>(); });
}

} // namespace tarvane
