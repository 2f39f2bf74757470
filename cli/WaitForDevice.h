#pragma once

#include "cli/TerminalOutput.h"
#include "usb/DeviceAddress.h"

#include <atomic>

namespace tarvane {

// Waits up to `seconds` for a bootloader to appear at the address, looking
// five times a second and saying that it waits. A board whose access is
// refused during its first second is taken as not yet ready: udev grants
// access just after the device node appears. Returns once one is there or
// the time is up (or `stop` is set); the search that follows gives the verdict.
void waitForDevice(const DeviceAddress& address, double seconds, TerminalOutput& output,
                   const std::atomic<bool>* stop = nullptr);

} // namespace tarvane
