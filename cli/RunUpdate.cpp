#include "cli/RunUpdate.h"

#include "app/DialogMain.h"
#include "app/EventLoop.h"
#include "cli/ExitStatus.h"
#include "cli/TerminalView.h"
#include "usb/PortFactory.h"

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

int runUpdate(BoardKind board, const DeviceAddress& address, const std::string& file, std::ostream& out,
              std::ostream& err, bool progressBar) {
    EventLoop loop;
    TerminalView view(loop, out, err, progressBar);
    DialogMain dialog(view);
    view.attach(dialog);
    dialog.m_programName = "tarvane-update";
    dialog.m_link.device.setBackend(address, openReportPort);

    // The same clicks a user makes in the window, in the window's order.
    loop.post([&] {
        if (board == BoardKind::Interface) {
            dialog.onInterfaceBoard();
        } else {
            dialog.onDisplayBoard();
        }
        view.setFileAnswer(file);
        dialog.onBrowse();
        dialog.onUpdate();
    });
    // Every path of the sequence ends by a response, a time-out or the stall
    // watchdog; the loop has nothing else to wait for.
    while (!view.outcome()) loop.run();
    return exitStatusFor(*view.outcome());
}

} // namespace tarvane
