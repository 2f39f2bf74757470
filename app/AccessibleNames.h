#pragma once

#include "update/UpdateEvents.h"

#include <span>
#include <string>
#include <string_view>

namespace tarvane {

// What a screen reader is told about the window's controls, for both windows.
// None of it is drawn: the visible texts stay those of the templates.

// A control's accessible name and description; empty where the control's own
// text serves.
struct AccessibleText {
    std::string_view name;
    std::string_view description;
};

// For the controls whose text says nothing (the log, the pictures' holders,
// the Notes button's "Click here") or changes (file field, progress bar).
AccessibleText accessibleText(int controlId);

// What a picture shows, by bitmap id (res/resource.h); empty for an unknown id.
AccessibleText pictureText(int bitmapId);

// The file field's name for what it shows: the file's name, or that none is loaded.
std::string fileFieldName(std::string_view shownText);

// The progress bar's name: the phase it shows, or how the update ended.
std::string_view progressName(UpdatePhase phase);
std::string_view outcomeName(UpdateOutcome outcome);

// The main window's controls in reading order: STEP 1 to STEP 6 with what
// each introduces, then the file field, Browse, the log, Update.
std::span<const int> readingOrder();

// The board radio buttons have no tab stop and no mnemonic in their text:
// Alt and this letter choose each, as a click does.
struct BoardKey {
    int control;
    char letter;
};
std::span<const BoardKey> boardKeys();

// A step text and the control it introduces.
struct LabelFor {
    int label;
    int control;
};
std::span<const LabelFor> labelsFor();

} // namespace tarvane
