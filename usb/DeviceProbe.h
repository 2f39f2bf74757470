#pragma once

#include "usb/DeviceAddress.h"

#include <cstdint>

namespace tarvane {

enum class DevicePresence { Absent, Present, AccessDenied };

// Whether a bootloader answers at the address now, without keeping it open:
// what a caller polls while it waits for a board to be plugged in.
DevicePresence probeDevice(const DeviceAddress& address, std::uint16_t vendorId, std::uint16_t productId);

} // namespace tarvane
