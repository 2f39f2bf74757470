#pragma once

#include "cli/TerminalOutput.h"
#include "cli/UpdateOptions.h"
#include "firmware/HexFile.h"
#include "front/EventLoop.h"
#include "link/BootloaderLink.h"
#include "update/UpdateSequence.h"

#include <atomic>
#include <memory>

namespace tarvane {

// One board's update in the terminal: the window's update sequence with its
// own event loop, link and worker; the board's output takes its events as
// they come. run() blocks the calling thread until the update ends;
// interrupt() may come from any thread.
class BoardRun final : private UpdateClock {
public:
    BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output);
    BoardRun(const BoardRun&) = delete;
    BoardRun& operator=(const BoardRun&) = delete;

    // `file` is options.file, read and checked once for every board; a board
    // that waits for its bootloader reads it again once found. `stop` also
    // ends that wait.
    void run(const UpdateOptions& options, std::shared_ptr<const HexFile> file, const std::atomic<bool>& stop);
    void interrupt();

    // After run() has returned.
    UpdateOutcome outcome() const { return *output_->outcome(); }
    double seconds() const { return seconds_; }
    const UpdateSequence& update() const { return update_; }
    const DeviceAddress& address() const { return target_.address; }
    TerminalOutput& output() { return *output_; }

private:
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
    double seconds_ = 0;
};

} // namespace tarvane
