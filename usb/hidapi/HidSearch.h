#pragma once

#include "usb/ReportPort.h"
#include "usb/hidapi/HidApi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

inline constexpr const char* kUdevRuleName = "70-tarvane-bootloader.rules";

// Every interface with these IDs, each path once, in the system's order.
std::vector<UsbBootloader> listHidBootloaders(HidApi& api, std::uint16_t vendorId, std::uint16_t productId);

// Opens the first bootloader that opens, or only the one at `path` when it is
// not empty. Nothing when none opens; `detail` then explains a near miss
// (seen but access denied, seen but failing, no bootloader at that path) and
// stays empty when no bootloader was seen at all.
std::unique_ptr<ReportPort> openHidBootloader(HidApi& api, const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail);

} // namespace tarvane
