#pragma once

#include "usb/DeviceAddress.h"

#include <cstdint>
#include <string>

namespace tarvane {

// InUse: there, but another updater holds it.
enum class DevicePresence { Absent, Present, AccessDenied, InUse };

// Whether a bootloader answers at the address now, without keeping it open:
// what a caller polls while it waits for a board to be plugged in. Why it
// is absent goes to `detail`, where one is given and the back-end says.
DevicePresence probeDevice(const DeviceAddress& address, std::uint16_t vendorId, std::uint16_t productId,
                           std::string* detail = nullptr);

} // namespace tarvane
