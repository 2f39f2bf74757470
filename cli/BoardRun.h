#pragma once

#include "app/BoardKind.h"
#include "app/EventLoop.h"
#include "cli/TerminalOutput.h"
#include "firmware/HexCheck.h"
#include "link/BootloaderLink.h"
#include "update/UpdateSequence.h"
#include "usb/DeviceAddress.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace tarvane {

// A board to update and the back-end that reaches it.
struct BoardTarget {
    DeviceAddress address;
    PortOpener opener;
};

// What every board of one command shares.
struct BoardJob {
    BoardKind board = BoardKind::Display;
    std::string file;
    // The file's check, made once for every board.
    HexCheckResult check;
    bool verifyOnly = false;
    // Seconds to wait for this board's bootloader to appear; 0 = none.
    double waitSeconds = 0;
};

// One board's update in the terminal: the window's update sequence with its
// own event loop, link and worker, its events printed as they come. run()
// blocks the calling thread until the update ends; interrupt() may come
// from any thread.
class BoardRun final : private UpdateEvents, private UpdateClock {
public:
    BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output);
    BoardRun(const BoardRun&) = delete;
    BoardRun& operator=(const BoardRun&) = delete;

    // `stop` also ends the wait for a bootloader to appear.
    void run(const BoardJob& job, const std::atomic<bool>& stop);
    void interrupt();

    // After run() has returned.
    UpdateOutcome outcome() const { return *m_outcome; }
    double seconds() const { return m_seconds; }
    const UpdateSequence& update() const { return m_update; }
    const DeviceAddress& address() const { return m_target.address; }
    TerminalOutput& output() { return *m_output; }
    // The log as the window holds it: each line ended by CR LF.
    const std::string& logText() const { return m_logText; }

private:
    // UpdateEvents
    void logCleared() override {}
    void logLine(const std::string& line) override;
    void running(bool) override {}
    void phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) override;
    void progressShown(bool shown) override;
    void progressMoved(std::int32_t done, std::int32_t total) override;
    void problem(const UpdateProblem& problem) override { m_output->problem(problem); }
    void ended(UpdateOutcome outcome) override;

    // UpdateClock
    void startTicks(int periodMs) override;
    void stopTicks() override;
    void pause(int ms) override;
    void post(LinkMessage message) override;

    BoardTarget m_target;
    std::unique_ptr<TerminalOutput> m_output;
    EventLoop m_loop;
    BootloaderLink m_link;
    UpdateSequence m_update;
    std::optional<UpdateOutcome> m_outcome;
    std::string m_logText;
    bool m_barShown = false;
    int m_barTotal = 100;
    int m_barDone = 0;
    double m_seconds = 0;
};

} // namespace tarvane
