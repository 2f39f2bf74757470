#pragma once

#include "usb/ReportPort.h"
#include "usb/hidapi/HidApi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

inline constexpr const char* kUdevRuleName = "70-tarvane-bootloader.rules";

// Every interface with these IDs, each path once, in the system's order,
// with whether this user is denied it or another updater holds it.
std::vector<UsbBootloader> listHidBootloaders(HidApi& api, std::uint16_t vendorId, std::uint16_t productId);

// Opens the first bootloader that opens, or only the one at `path` when it is
// not empty, and holds its node's lock for as long as the port lives; one
// whose lock another open holds is in use and never opened. Nothing when none
// opens; `detail` then explains a near miss (seen but access denied, in use,
// seen but failing, no bootloader at that path) and stays empty when no
// bootloader was seen at all.
std::unique_ptr<ReportPort> openHidBootloader(HidApi& api, const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail);

} // namespace tarvane
