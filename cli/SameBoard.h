#pragma once

#include "usb/DeviceAddress.h"

namespace tarvane {

// Whether two device addresses reach one board: a host name and its address
// with one port, or two paths to one device node.
bool sameBoard(const DeviceAddress& a, const DeviceAddress& b);

} // namespace tarvane
