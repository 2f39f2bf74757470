#pragma once

#include "firmware/FlashImage.h"
#include "update/UpdateEvents.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tarvane {

struct UpdateOptions;

// One board's update as tarvane-update reports it, in whichever form was
// asked for: plain lines for people, JSON objects for production-line
// scripts. Each form takes the update's events itself; what the run needs of
// them in any form, the log and the outcome, is kept here.
class TerminalOutput : public UpdateEvents {
public:
    virtual ~TerminalOutput() = default;

    // Waiting for a bootloader to appear: milliseconds waited of those allowed.
    virtual void waiting(std::int64_t waitedMs, std::int64_t limitMs) = 0;
    // How the board's run ended: the file's verification range, the seconds
    // taken and the data bytes programmed (none unless updated).
    virtual void result(UpdateOutcome, const VerifyRange&, double /*seconds*/, std::uint64_t /*dataBytes*/) {}

    void logLine(const std::string& line) final;
    void ended(UpdateOutcome outcome) final;

    // Called on the update's thread once it has ended.
    void whenEnded(std::function<void()> done) { whenEnded_ = std::move(done); }
    // Once the update has ended.
    std::optional<UpdateOutcome> outcome() const { return outcome_; }
    // The log as the window holds it: each line ended by CR LF.
    const std::string& logText() const { return logText_; }

protected:
    virtual void printLine(const std::string& line) = 0;
    // The update has ended: nothing is drawn any more.
    virtual void finish() {}

private:
    std::string logText_;
    std::optional<UpdateOutcome> outcome_;
    std::function<void()> whenEnded_;
};

// The output `options` ask for: JSON objects or plain lines. With several
// boards on the same streams each has its own, named by `device`, and
// `shared` keeps lines whole.
std::unique_ptr<TerminalOutput> makeTerminalOutput(const UpdateOptions& options, std::ostream& out, std::ostream& err,
                                                   const std::string& device = {}, std::mutex* shared = nullptr);

} // namespace tarvane
