#pragma once

#include "usb/DeviceAddress.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvane {

// Prints every bootloader the address reaches, one per line, starting with
// the device address to give --device; a plain line on `err` when there is
// none. Returns the exit status: 0 when one or more are listed, 4 when none.
int listDevices(const DeviceAddress& address, std::ostream& out, std::ostream& err);

// The address of every USB bootloader --list shows (--all). When there is
// none, `detail` says why in the words --list uses.
std::vector<DeviceAddress> usbBootloaderAddresses(std::string& detail);

} // namespace tarvane
