#pragma once

#include "firmware/FlashImage.h"
#include "update/UpdateEvents.h"

#include <cstdint>
#include <string>

namespace tarvane {

// What the terminal tool reports, in whichever form the caller asked for:
// plain lines for people, JSON objects for production-line scripts.
class TerminalOutput {
public:
    virtual ~TerminalOutput() = default;

    virtual void logLine(const std::string& line) = 0;
    virtual void problem(const UpdateProblem& problem) = 0;
    // The window's progress bar: shown or hidden, range and position.
    virtual void progressBar(bool visible, int maximum, int position) = 0;
    // Progress of one phase of the update (connect, erase, program, verify, start).
    virtual void phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) = 0;
    // Waiting for a bootloader to appear: milliseconds waited of those allowed.
    virtual void waiting(std::int64_t waitedMs, std::int64_t limitMs) = 0;
    virtual void finished() = 0;
    // How the board's run ended: the file's verification range, the seconds
    // taken and the data bytes programmed (none unless updated).
    virtual void result(UpdateOutcome, const VerifyRange&, double /*seconds*/, std::uint64_t /*dataBytes*/) {}
};

} // namespace tarvane
