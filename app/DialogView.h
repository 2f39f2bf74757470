#pragma once

#include "update/LinkMessage.h"
#include "update/UpdateEvents.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// What the window logic needs from a platform. Every call comes on the UI
// thread except postLinkMessage, which the link's worker calls. Control ids,
// timer ids and bitmap ids are those of res/resource.h. Strings are UTF-8.
class DialogView {
public:
    virtual ~DialogView() = default;

    virtual bool hasControl(int id) const = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void showControl(int id, bool visible) = 0;
    virtual void setPicture(int controlId, int bitmapId) = 0;

    // The whole log (lines end in CR LF); the view shows its end.
    virtual void setLogText(const std::string& text) = 0;
    // Range 0..maximum, 32-bit so that long files show true progress.
    virtual void setProgressRange(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // What the progress bar stands for now (a phase, or how the update
    // ended), for screen readers; nothing shows it.
    virtual void setProgressName(std::string_view /*name*/) {}
    virtual void messageBox(const MessageBoxRequest& request) = 0;
    // `filter` is "Name|pattern|Name|pattern|"; the first entry is in effect.
    // Returns the chosen file's full path, or nothing when cancelled.
    virtual std::optional<std::string> openFileDialog(const std::string& filter, const std::string& initialDirectory) = 0;
    virtual void showNotes() = 0;
    // Where to save a file, proposing `suggestedName` in the user's documents
    // folder; nothing when cancelled or where the window offers no such dialog.
    virtual std::optional<std::string> saveFileDialog(const std::string& /*suggestedName*/) { return std::nullopt; }

    // A periodic timer whose ticks reach DialogMain::onTimer(id).
    virtual void startTimer(int id, int periodMs) = 0;
    virtual void killTimer(int id) = 0;
    // Blocks the UI thread; no message or tick is handled meanwhile.
    virtual void pause(int ms) = 0;
    // Called on the worker thread: hand the message to the UI thread, where
    // it must reach DialogMain::onLinkMessage.
    virtual void postLinkMessage(LinkMessage message) = 0;
    // For shells that stop, or tell their tests, when an update ends.
    virtual void updateEnded(UpdateOutcome) {}
};

} // namespace tarvane
