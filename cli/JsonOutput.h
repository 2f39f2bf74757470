#pragma once

#include "cli/TerminalOutput.h"
#include "firmware/FlashImage.h"

#include "update/UpdateScreen.h"

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

    void logLine(const std::string& line) override;
    void message(const MessageBoxRequest& request) override;
    void progressBar(bool, int, int) override {}
    void phaseProgress(std::uint8_t command, std::int64_t done, std::int64_t total) override;
    void waiting(std::int64_t waitedMs, std::int64_t limitMs) override;
    void finished() override {}

    // The last line: updated, verified, failed (with the reason) or
    // interrupted, the exit status, the verification range and CRC, the
    // seconds taken and the data bytes programmed.
    void writeResult(UpdateOutcome outcome, int exitStatus, const VerifyRange& range, double seconds,
                     std::uint64_t dataBytes);

private:
    void progress(const char* phase, std::int64_t done, std::int64_t total);
    // One whole line, under the shared lock when there is one.
    void write(const std::string& line);

    std::ostream& out_;
    std::string device_;
    std::mutex* shared_;
    std::uint8_t lastCommand_ = 0;
    std::int64_t lastDone_ = -1;
};

} // namespace tarvane
