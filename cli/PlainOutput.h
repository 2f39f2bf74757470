#pragma once

#include "cli/TerminalOutput.h"

#include <iosfwd>
#include <mutex>
#include <string>

namespace tarvane {

// Log lines on `out` as the window shows them; problems on `err` as
// "error: TEXT" with the reason beneath; a progress bar on `err` only when
// it is a terminal. With several boards each has its own output on the same
// streams: `prefix` starts every line and `shared` keeps lines whole.
class PlainOutput : public TerminalOutput {
public:
    PlainOutput(std::ostream& out, std::ostream& err, bool drawBar, std::string prefix = {},
                std::mutex* shared = nullptr);

    void logCleared() override {}
    void running(bool) override {}
    void phaseProgress(UpdatePhase, std::int64_t, std::int64_t) override {}
    void progressShown(bool shown) override;
    void progressMoved(std::int32_t done, std::int32_t total) override;
    void problem(const UpdateProblem& problem) override;
    void waiting(std::int64_t waitedMs, std::int64_t limitMs) override;

private:
    void printLine(const std::string& line) override;
    void finish() override;

    std::unique_lock<std::mutex> lock();
    // Draws the bar where the update shows it, else takes it away.
    void showBar();
    void draw();
    void clear();

    std::ostream& out_;
    std::ostream& err_;
    bool drawBar_;
    std::string prefix_;
    std::mutex* shared_;
    bool shown_ = false;
    // A failure line has been printed: no bar is drawn again.
    bool barEnded_ = false;
    bool drawn_ = false;
    bool waitShown_ = false;
    int maximum_ = 100;
    int position_ = 0;
};

} // namespace tarvane
