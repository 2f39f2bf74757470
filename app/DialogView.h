#pragma once

#include "update/UpdateScreen.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvane {

// What the window logic needs from a platform, beyond what the update
// sequence needs: every call comes on the UI thread. Control ids and bitmap
// ids are those of res/resource.h. Strings are UTF-8.
class DialogView : public UpdateScreen {
public:
    virtual bool hasControl(int id) const = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void setPicture(int controlId, int bitmapId) = 0;

    // The whole log (lines end in CR LF); the view shows its end.
    virtual void setLogText(const std::string& text) = 0;
    // `filter` is "Name|pattern|Name|pattern|"; the first entry is in effect.
    // Returns the chosen file's full path, or nothing when cancelled.
    virtual std::optional<std::string> openFileDialog(const std::string& filter, const std::string& initialDirectory) = 0;
    virtual void showNotes() = 0;
};

} // namespace tarvane
