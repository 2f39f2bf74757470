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

const DialogTemplate& mainDialogTemplate();
const DialogTemplate& notesDialogTemplate();

inline constexpr std::string_view kNoFileLoaded = "<No file loaded>";
inline constexpr std::string_view kWindowTitle = "Tarvane Firmware Updater - v.1.1";

} // namespace tarvane
