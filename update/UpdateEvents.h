#pragma once

#include <cstdint>
#include <string>

namespace tarvane {

// Where an update stands: nothing runs (Idle), or the request of one phase
// is out and its answer awaited. Starting sends the Display board's start
// request, which nobody answers.
enum class UpdatePhase { Idle, Connecting, Erasing, Programming, Verifying, Starting };

// How an update ended. Verified ends a verify-only run that found the file
// on the board; Interrupted, a run the user stopped.
enum class UpdateOutcome {
    Updated,
    VerificationFailed,
    NoResponse,
    Stalled,
    FileNotLoaded,
    DeviceNotFound,
    Verified,
    Interrupted,
    // The board already held the file: nothing was written.
    Current,
};

// Something the user must see before going on.
struct UpdateProblem {
    enum class Kind { FileNotLoaded, DeviceNotFound };
    Kind kind = Kind::DeviceNotFound;
    std::string text;
    // A second line for the reader: the offending line of a file, a hint.
    std::string detail;
};

// What the user must learn of an update, in the order it happens, on the
// UI thread.
class UpdateEvents {
public:
    // A new run: its log starts empty.
    virtual void logCleared() = 0;
    virtual void logLine(const std::string& line) = 0;
    // The run holds the user's choices from here on, or gives them back.
    virtual void running(bool on) = 0;
    // How far the request of `phase` has come: sends made of those allowed,
    // or file lines sent while programming. Done equals total once answered.
    virtual void phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) = 0;
    // The progress bar: shown or hidden, and where it stands.
    virtual void progressShown(bool shown) = 0;
    virtual void progressMoved(std::int32_t done, std::int32_t total) = 0;
    virtual void problem(const UpdateProblem& problem) = 0;
    virtual void ended(UpdateOutcome outcome) = 0;

protected:
    ~UpdateEvents() = default;
};

} // namespace tarvane
