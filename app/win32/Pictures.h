#pragma once

#include "win32/Win32Handles.h"

#include <windows.h>

#include <map>

namespace tarvane {

// The bitmaps handed to picture controls, each fitted into its frame at the
// window's scale. Each stays alive while its control shows it; the one it
// replaces is released at once, and the rest with this object, after the
// window is gone.
class Pictures {
public:
    // Shows picture `bitmapId` in the control, fitted into `frame` (in the
    // dialog's client pixels) and the control moved onto it; a picture that
    // cannot be loaded leaves the control without one.
    void show(HINSTANCE instance, HWND control, int bitmapId, const RECT& frame);
    // The picture a control shows, 0 for none.
    int shownId(HWND control) const;

private:
    struct Shown {
        UniqueBitmap bitmap;
        int bitmapId = 0;
    };
    std::map<HWND, Shown> shown_;
};

} // namespace tarvane
