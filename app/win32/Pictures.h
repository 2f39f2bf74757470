#pragma once

#include "win32/Win32Handles.h"

#include <windows.h>

#include <map>

namespace tarvane {

// The bitmaps handed to picture controls. Each stays alive while its control
// shows it; the one it replaces is released at once, and the rest with this
// object, after the window is gone.
class Pictures {
public:
    // Loads the bitmap resource and shows it in the control; a bitmap that
    // cannot be loaded leaves the control without a picture.
    void show(HINSTANCE instance, HWND control, int bitmapId);

private:
    std::map<HWND, UniqueBitmap> shown_;
};

} // namespace tarvane
