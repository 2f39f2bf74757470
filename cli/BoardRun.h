#pragma once

#include "front/BoardKind.h"
#include "front/EventLoop.h"
#include "cli/TerminalOutput.h"
#include "firmware/HexFile.h"
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
    // The file read and checked once for every board; a board that waits for
    // its bootloader reads it again once found.
    std::shared_ptr<const HexFile> loaded;
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
    UpdateOutcome outcome() const { return *outcome_; }
    double seconds() const { return seconds_; }
    const UpdateSequence& update() const { return update_; }
    const DeviceAddress& address() const { return target_.address; }
    TerminalOutput& output() { return *output_; }
    // The log as the window holds it: each line ended by CR LF.
    const std::string& logText() const { return logText_; }

private:
    // UpdateEvents
    void logCleared() override {}
    void logLine(const std::string& line) override;
    void running(bool) override {}
    void phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) override;
    void progressShown(bool shown) override;
    void progressMoved(std::int32_t done, std::int32_t total) override;
    void problem(const UpdateProblem& problem) override { output_->problem(problem); }
    void ended(UpdateOutcome outcome) override;

    // UpdateClock
    void startTicks(int periodMs) override;
    void stopTicks() override;
    void pause(int ms) override;
    void post(LinkMessage message) override;

    BoardTarget target_;
    std::unique_ptr<TerminalOutput> output_;
    EventLoop loop_;
    BootloaderLink link_;
    UpdateSequence update_;
    std::optional<UpdateOutcome> outcome_;
    std::string logText_;
    bool barShown_ = false;
    // A failure line has been printed: no bar is drawn again.
    bool barEnded_ = false;
    int barTotal_ = 100;
    int barDone_ = 0;
    double seconds_ = 0;
};

} // namespace tarvane
