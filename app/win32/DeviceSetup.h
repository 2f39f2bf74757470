#pragma once

#include <string>

namespace tarvane {

class DialogMain;

// Points the window's device at the address in TARVANE_DEVICE (default usb).
// Returns why the address was refused, or nothing when it was taken; a
// refused address leaves a device that is never found, with that reason.
std::string useDeviceAddress(DialogMain& dialog, const std::string& address);

// An environment variable as UTF-8; empty when unset.
std::string environmentVariable(const wchar_t* name);

} // namespace tarvane
