#include "startup/StartUp.h"

#include "res/ProgramLine.h"
#include "sim/SimDevicePort.h"
#include "startup/Platform.h"
#include "startup/SystemName.h"
#include "trace/TraceFile.h"
#include "trace/TracingPort.h"
#include "usb/PortFactory.h"

#include <utility>

namespace tarvane {

StartUp startUp(FrontEnd frontEnd, const std::string& programName, int argc, const char* const* argv) {
    setSimulatedBoardOpener(simulatedBoardOpener());
    paceLinkWorkers();
    StartUp start;
    start.system = systemDescription();
    if (frontEnd == FrontEnd::Terminal) return start;

    const std::string deviceText = environmentText("TARVANE_DEVICE");
    DeviceChoice device = chooseDevice(deviceText);
    start.device = std::move(device.address);
    start.opener = std::move(device.opener);
    if (!device.error.empty()) start.warnings.push_back(device.error + "\nNo device will be used.");

    // A trace that cannot be written leaves the updater running without one.
    const std::string tracePath = environmentText("TARVANE_TRACE");
    if (tracePath.empty()) return start;
    OpenedTrace opened =
        openTrace(tracePath, TraceHeader{programLine(programName), commandLineText(argc, argv), deviceText});
    if (!opened.trace) {
        start.warnings.push_back("TARVANE_TRACE: cannot write the trace file " + tracePath + ": " + opened.error +
                                 "\nThe updater runs without a trace.");
        return start;
    }
    start.opener = tracedOpener(std::move(start.opener), std::move(opened.trace));
    return start;
}

} // namespace tarvane
