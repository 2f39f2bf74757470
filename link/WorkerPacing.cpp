#include "link/WorkerPacing.h"

#include <mutex>

namespace tarvane {
namespace {

// Locked: a worker may start on one thread while a front end sets the maker on another.
struct PacingChoice {
    std::mutex mutex;
    WorkerPacingMaker maker;
};

PacingChoice& choice() {
    static PacingChoice c;
    return c;
}

} // namespace

void setWorkerPacing(WorkerPacingMaker maker) {
    PacingChoice& c = choice();
    const std::lock_guard lock(c.mutex);
    c.maker = std::move(maker);
}

std::unique_ptr<WorkerPacing> makeWorkerPacing() {
    PacingChoice& c = choice();
    std::unique_ptr<WorkerPacing> pacing;
    {
        const std::lock_guard lock(c.mutex);
        if (c.maker) pacing = c.maker();
    }
    return pacing ? std::move(pacing) : std::make_unique<WorkerPacing>();
}

} // namespace tarvane
