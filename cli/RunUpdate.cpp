#include "cli/RunUpdate.h"

#include "app/DialogMain.h"
#include "app/EventLoop.h"
#include "cli/ExitStatus.h"
#include "cli/JsonOutput.h"
#include "cli/PlainOutput.h"
#include "cli/TerminalView.h"
#include "cli/WaitForDevice.h"
#include "res/version.h"
#include "trace/TracingPort.h"
#include "usb/PortFactory.h"

#include <chrono>
#include <memory>

namespace tarvane {
namespace {

int exitStatusFor(UpdateOutcome outcome) {
    switch (outcome) {
    case UpdateOutcome::Updated:
        return kExitUpdated;
    case UpdateOutcome::FileNotLoaded:
        return kExitBadFile;
    case UpdateOutcome::DeviceNotFound:
        return kExitNoDevice;
    case UpdateOutcome::VerificationFailed:
    case UpdateOutcome::NoResponse:
    case UpdateOutcome::Stalled:
        break;
    }
    return kExitFailed;
}

} // namespace

int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err) {
    const auto started = std::chrono::steady_clock::now();
    // Before anything is sent: a trace that cannot be written is a usage error.
    std::shared_ptr<TraceFile> trace;
    if (!options.trace.empty()) {
        const TraceHeader header{"tarvane-update " TARVANE_VERSION, options.commandLine, options.address.toString()};
        OpenedTrace opened = openTrace(options.trace, header);
        if (!opened.trace) {
            err << "error: cannot write the trace file " << options.trace << ": " << opened.error << "\n";
            return kExitUsage;
        }
        trace = std::move(opened.trace);
    }
    std::unique_ptr<TerminalOutput> output;
    JsonOutput* json = nullptr;
    if (options.json) {
        auto j = std::make_unique<JsonOutput>(out);
        json = j.get();
        output = std::move(j);
    } else {
        output = std::make_unique<PlainOutput>(out, err, options.progressBar);
    }

    EventLoop loop;
    TerminalView view(loop, *output);
    DialogMain dialog(view);
    view.attach(dialog);
    dialog.setProgramName("tarvane-update");
    dialog.useDevice(options.address, tracedOpener(openReportPort, trace));

    // The same clicks a user makes in the window, in the window's order.
    loop.post([&] {
        if (options.board == BoardKind::Interface) {
            dialog.onInterfaceBoard();
        } else {
            dialog.onDisplayBoard();
        }
        view.setFileAnswer(options.file);
        dialog.onBrowse();
        // A production line starts the command, then plugs the next board in.
        if (options.waitSeconds > 0 && dialog.checkChosenFile().ok) {
            waitForDevice(options.address, options.waitSeconds, *output);
        }
        dialog.onUpdate();
    });
    // Every path of the sequence ends by a response, a time-out or the stall
    // watchdog; the loop has nothing else to wait for.
    while (!view.outcome()) loop.run();
    const int status = exitStatusFor(*view.outcome());
    if (trace && !trace->flush()) {
        err << "error: the trace file " << options.trace << " stops short: " << trace->error() << "\n";
    }

    if (json) {
        const bool updated = *view.outcome() == UpdateOutcome::Updated;
        const std::uint64_t dataBytes = updated ? dialog.update().dataBytes() : 0;
        json->writeResult(updated, status, dialog.update().verifyRange(),
                          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), dataBytes);
    }
    return status;
}

} // namespace tarvane
