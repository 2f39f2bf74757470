#pragma once

#include "app/BoardKind.h"
#include "app/DialogMain.h"
#include "app/EventLoop.h"
#include "cli/TerminalOutput.h"
#include "cli/TerminalView.h"
#include "firmware/HexCheck.h"
#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"

#include <atomic>
#include <memory>
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

// One board's update as the window would run it: its own event loop, view
// and DialogMain, so its own link and worker. run() blocks the calling
// thread until the update ends; interrupt() may come from any thread.
class BoardRun {
public:
    BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output);
    BoardRun(const BoardRun&) = delete;
    BoardRun& operator=(const BoardRun&) = delete;

    // `stop` also ends the wait for a bootloader to appear.
    void run(const BoardJob& job, const std::atomic<bool>& stop);
    void interrupt();

    // After run() has returned.
    UpdateOutcome outcome() const { return *view_.outcome(); }
    double seconds() const { return seconds_; }
    const UpdateSequence& update() const { return dialog_.update(); }
    const DeviceAddress& address() const { return target_.address; }
    TerminalOutput& output() { return *output_; }

private:
    BoardTarget target_;
    std::unique_ptr<TerminalOutput> output_;
    EventLoop loop_;
    TerminalView view_;
    DialogMain dialog_;
    double seconds_ = 0;
};

} // namespace tarvane
