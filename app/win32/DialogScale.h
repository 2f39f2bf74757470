#pragma once

#include "app/DialogTemplates.h"
#include "app/win32/Pictures.h"
#include "win32/Win32Handles.h"

#include <windows.h>

namespace tarvane {

// Keeps a dialog made from a template drawn at its window's scale: its
// pictures fitted into their frames, and on a change of scale
// (WM_DPICHANGED) its font, its layout and its pictures made again for the
// new one.
class DialogScale {
public:
    // At WM_INITDIALOG: takes the dialog's own dialog units and shows each
    // picture of the template fitted into its frame.
    void attach(HINSTANCE instance, HWND dialog, const DialogTemplate& layout);
    // Shows picture `bitmapId` in the picture control `controlId`.
    void setPicture(int controlId, int bitmapId);
    // The template's font at `dpi` for the dialog and every control, the
    // controls laid out in that font's dialog units, the window at
    // `suggested` (screen pixels), the pictures again.
    void onDpiChanged(int dpi, const RECT& suggested);

private:
    RECT frame(const ControlTemplate& control) const;
    const ControlTemplate* control(int id) const;

    HINSTANCE instance_ = nullptr;
    HWND dialog_ = nullptr;
    const DialogTemplate* layout_ = nullptr;
    // Pixels per four horizontal and per eight vertical dialog units.
    int unitX_ = 0;
    int unitY_ = 0;
    // Ours once the scale has changed; the dialog's own until then.
    UniqueFont font_;
    Pictures pictures_;
};

} // namespace tarvane
