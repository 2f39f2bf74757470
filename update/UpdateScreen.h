#pragma once

#include "link/LinkMessage.h"

#include <cstdint>
#include <string>

namespace tarvane {

enum class MessageIcon { None, Error };

struct MessageBoxRequest {
    std::string text;
    // Empty: the system's default caption.
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    // Owned by the main window (modal to it) or by nobody.
    bool ownedByWindow = false;
    // A second line for the reader: the offending line of a file, a hint.
    std::string detail;
};

// How an update ended, for front ends that stop when it does. Verified ends
// a verify-only run that found the file on the board; Interrupted, a run the
// user stopped.
enum class UpdateOutcome {
    Updated,
    VerificationFailed,
    NoResponse,
    Stalled,
    FileNotLoaded,
    DeviceNotFound,
    Verified,
    Interrupted,
};

// What the update sequence needs from the screen: the progress bar, message
// boxes, the progress timer and the pauses between phases. Every call comes
// on the UI thread except postLinkMessage, which the link's worker calls.
// Control ids are those of res/resource.h.
class UpdateScreen {
public:
    virtual ~UpdateScreen() = default;

    virtual void showControl(int id, bool visible) = 0;
    // Range 0..maximum, 32-bit so that long files show true progress.
    virtual void setProgressRange(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void messageBox(const MessageBoxRequest& request) = 0;

    // A periodic timer whose ticks reach UpdateSequence::onTimer(id).
    virtual void startTimer(int id, int periodMs) = 0;
    virtual void killTimer(int id) = 0;
    // Blocks the UI thread; no message or tick is handled meanwhile.
    virtual void pause(int ms) = 0;

    // Called on the worker thread: hand the message to the UI thread, where
    // it must reach UpdateSequence::onLinkMessage.
    virtual void postLinkMessage(LinkMessage message) = 0;

    // How far the request of `command` has come: sends made of those allowed,
    // or file lines sent while programming. Done equals total once answered.
    virtual void linkProgress(std::uint8_t /*command*/, std::int64_t /*done*/, std::int64_t /*total*/) {}
    virtual void updateEnded(UpdateOutcome) {}
};

// The window's side of an update: its log and its choice controls.
class UpdateWindow {
public:
    virtual void appendLog(const std::string& line) = 0;
    virtual void clearLog() = 0;
    // Board, Notes and Browse buttons, and Update while a file is chosen.
    virtual void enableControls(bool on) = 0;
    virtual void enableStepTexts() = 0;

protected:
    ~UpdateWindow() = default;
};

} // namespace tarvane
