#pragma once

#include <string>

namespace tarvane {

class DialogMain;

// Points the window's device at `address` (the value of TARVANE_DEVICE,
// nullptr or empty for the default, usb). An address that does not parse
// leaves the window without a device: every search then fails and the
// "Device not found" box says why. Returns that reason, empty when the
// address was good.
std::string useDeviceAddress(DialogMain& dialog, const char* address);

} // namespace tarvane
