#pragma once

#include <windows.h>

namespace tarvane {

// The program: common controls and COM for the file dialog, then the one
// modal window; the program ends when it closes.
class TarvaneBootloaderApp {
public:
    explicit TarvaneBootloaderApp(HINSTANCE instance) : instance_(instance) {}

    // Runs the window to its end; the process's exit code.
    int initInstance();

private:
    HINSTANCE instance_;
};

} // namespace tarvane
