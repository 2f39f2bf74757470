#pragma once

#include "cli/TerminalOutput.h"

#include <iosfwd>
#include <mutex>
#include <string>

namespace tarvane {

// One JSON object per line on `out`, each with a "type": log, progress,
// error, and a last result (see writeResult). With several boards each has
// its own output on the same stream: every object names its `device` and
// `shared` keeps lines whole.
class JsonOutput : public TerminalOutput {
public:
    explicit JsonOutput(std::ostream& out, std::string device = {}, std::mutex* shared = nullptr);

    void logCleared() override {}
    void running(bool) override {}
    void phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) override;
    void progressShown(bool) override {}
    void progressMoved(std::int32_t, std::int32_t) override {}
    void problem(const UpdateProblem& problem) override;
    void waiting(std::int64_t waitedMs, std::int64_t limitMs) override;

    // The last line: updated, verified, failed or interrupted, the exit
    // status, the verification range and CRC, the seconds taken and the data
    // bytes programmed.
    void result(UpdateOutcome outcome, const VerifyRange& range, double seconds, std::uint64_t dataBytes) override;

private:
    void printLine(const std::string& line) override;
    void progress(const char* phase, std::int64_t done, std::int64_t total);
    // One whole line, under the shared lock when there is one.
    void write(const std::string& line);

    std::ostream& out_;
    std::string device_;
    std::mutex* shared_;
    UpdatePhase lastPhase_ = UpdatePhase::Idle;
    std::int64_t lastDone_ = -1;
};

} // namespace tarvane
