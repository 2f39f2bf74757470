#include "cli/BoardRun.h"

#include "cli/WaitForDevice.h"

#include <chrono>

namespace tarvane {

BoardRun::BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output)
    : target_(std::move(target)), output_(std::move(output)), view_(loop_, *output_), dialog_(view_) {
    view_.attach(dialog_);
    dialog_.setProgramName("tarvane-update");
    dialog_.useDevice(target_.address, target_.opener);
}

void BoardRun::run(const BoardJob& job, const std::atomic<bool>& stop) {
    const auto started = std::chrono::steady_clock::now();
    // The same clicks a user makes in the window, in the window's order.
    loop_.post([&] {
        if (job.board == BoardKind::Interface) {
            dialog_.onInterfaceBoard();
        } else {
            dialog_.onDisplayBoard();
        }
        view_.setFileAnswer(job.file);
        dialog_.onBrowse();
        dialog_.useCheckedFile(job.check);
        dialog_.setVerifyOnly(job.verifyOnly);
        // A production line starts the command, then plugs the next board in.
        if (job.waitSeconds > 0 && job.check.ok) {
            waitForDevice(target_.address, job.waitSeconds, *output_, &stop);
        }
        if (stop.load()) {
            dialog_.onInterrupt();
        } else {
            dialog_.onUpdate();
        }
    });
    // Every path of the sequence ends by a response, a time-out, the stall
    // watchdog or an interruption; the loop has nothing else to wait for.
    while (!view_.outcome()) loop_.run();
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void BoardRun::interrupt() {
    loop_.post([this] {
        if (!view_.outcome()) dialog_.onInterrupt();
    });
}

} // namespace tarvane
