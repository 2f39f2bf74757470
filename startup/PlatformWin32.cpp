#include "startup/Platform.h"

#include "link/WorkerPacing.h"
#include "win32/FineTimer.h"
#include "win32/WideText.h"

#include <cstdlib>
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

void paceLinkWorkers() {
    setWorkerPacing([] { return std::make_unique<FineTimerPacing>(); });
}

std::string environmentText(const char* name) {
    const wchar_t* value = _wgetenv(toWide(name).c_str());
    return value != nullptr ? toUtf8(value) : std::string();
}

} // namespace tarvane
