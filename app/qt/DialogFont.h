#pragma once

#include "app/DialogTemplates.h"

#include <QFont>
#include <QRect>

namespace tarvane {

// Pixels per dialog unit for one font: a quarter of its average character
// width across, an eighth of its height down.
struct DialogUnits {
    double charWidth = 8.0;
    double charHeight = 16.0;

    int x(int units) const;
    int y(int units) const;
    // Converts the edges rather than the sizes, so rectangles that only touch
    // in the template never overlap on screen.
    QRect rect(int left, int top, int width, int height) const;
};

DialogUnits dialogUnits(const QFont& font);

// The font a template's texts are drawn in, and the grid its controls are
// laid out on.
struct DialogFont {
    QFont font;
    DialogUnits units;
};

// The template's own font and size when the system has the font. Otherwise
// Open Sans, whose width-to-height proportions are those of the template's
// font: the grid comes from it at the template's size, so the window and its
// pictures keep their proportions, while the texts are drawn half a point
// smaller because Open Sans runs a few percent wider on them.
DialogFont dialogFont(const DialogTemplate& dialog);

} // namespace tarvane
