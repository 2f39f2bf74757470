#pragma once

#include "app/DialogView.h"

#include <cstdint>
#include <string>

namespace tarvane {

// What the terminal tool reports, in whichever form the caller asked for:
// plain lines for people, JSON objects for production-line scripts.
class TerminalOutput {
public:
    virtual ~TerminalOutput() = default;

    virtual void logLine(const std::string& line) = 0;
    virtual void message(const MessageBoxRequest& request) = 0;
    // The window's progress bar: shown or hidden, range and position.
    virtual void progressBar(bool visible, int maximum, int position) = 0;
    // Progress of one phase of the update (connect, erase, program, verify, start).
    virtual void phaseProgress(std::uint8_t command, std::int64_t done, std::int64_t total) = 0;
    // Waiting for a bootloader to appear: milliseconds waited of those allowed.
    virtual void waiting(std::int64_t waitedMs, std::int64_t limitMs) = 0;
    virtual void finished() = 0;
};

} // namespace tarvane
