#pragma once

#include <span>
#include <string_view>

namespace tarvane {

enum class ControlKind { PushButton, RadioButton, Text, SunkenText, Picture, Log, ProgressBar };

// One control of a dialog template, in template (and tab) order. Positions
// are dialog units; a window shell converts them with its font's metrics.
struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string_view text;
    bool enabledAtStart;
    bool visibleAtStart;
    int x, y, width, height;
    int bitmapId = 0;    // pictures only
    bool tabStop = false;
    bool group = false;  // begins a control group
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int width, height;   // dialog units
    std::string_view font;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

// Both come from res/dialogs.layout, as the Windows resources do.
const DialogTemplate& mainDialogTemplate();
const DialogTemplate& notesDialogTemplate();

// The main dialog's caption, and what its file name shows before a file is chosen.
extern const std::string_view kWindowTitle;
extern const std::string_view kNoFileLoaded;

} // namespace tarvane
