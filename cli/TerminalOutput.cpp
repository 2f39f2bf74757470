#include "cli/TerminalOutput.h"

#include "cli/JsonOutput.h"
#include "cli/PlainOutput.h"
#include "cli/UpdateOptions.h"

namespace tarvane {

void TerminalOutput::logLine(const std::string& line) {
    logText_ += line;
    logText_ += "\r\n";
    printLine(line);
}

void TerminalOutput::ended(UpdateOutcome outcome) {
    finish();
    outcome_ = outcome;
    if (whenEnded_) whenEnded_();
}

std::unique_ptr<TerminalOutput> makeTerminalOutput(const UpdateOptions& options, std::ostream& out, std::ostream& err,
                                                   const std::string& device, std::mutex* shared) {
    if (options.json) return std::make_unique<JsonOutput>(out, device, shared);
    // Bars of several boards would overwrite each other on one line.
    const bool several = !device.empty();
    return std::make_unique<PlainOutput>(out, err, options.progressBar && !several,
                                         several ? "[" + device + "] " : std::string(), shared);
}

} // namespace tarvane
