#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace tarvane {

// How the link's worker ends each pass. A pass that sent a frame or received
// a report goes straight on: the next read waits for the board by itself. An
// idle pass pauses, so an idle worker never spins.
//
// Each worker makes one pacing when it starts and drops it when it stops, so
// a system whose sleeps are coarse can hold a finer timer in it for exactly
// that long (the Windows start-up, startup/StartUpWin32.cpp, does).
class WorkerPacing {
public:
    static constexpr std::chrono::milliseconds kIdlePause{1};

    WorkerPacing() = default;
    virtual ~WorkerPacing() = default;
    WorkerPacing(const WorkerPacing&) = delete;
    WorkerPacing& operator=(const WorkerPacing&) = delete;

    // `busy`: the pass sent a frame or received a report.
    virtual void endPass(bool busy) {
        if (!busy) std::this_thread::sleep_for(kIdlePause);
    }
};

using WorkerPacingMaker = std::function<std::unique_ptr<WorkerPacing>()>;

// The pacing of every worker started from now on; an empty maker restores
// the plain one. Set by a front end at start-up.
void setWorkerPacing(WorkerPacingMaker maker);
// A pacing for a worker that starts now; never null.
std::unique_ptr<WorkerPacing> makeWorkerPacing();

} // namespace tarvane
