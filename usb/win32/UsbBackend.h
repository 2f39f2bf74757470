#pragma once

#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

// A connected bootloader as the listing shows it (the same fields on every
// platform, so the terminal tool prints them alike).
struct HidDeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string product;
    std::string serial;
};

struct UsbBootloader {
    HidDeviceInfo info;
    bool accessDenied = false;
};

// The `usb` and `usb:PATH` addresses through hid.dll and SetupAPI: the first
// HID interface with these IDs, or the one at `path`. Nothing, with `detail`
// explaining a near miss, when none opens.
std::unique_ptr<ReportPort> openUsbReportPort(const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail);

// Every connected bootloader; false, with `error`, when hid.dll or the
// device enumeration is unavailable.
bool listUsbBootloaders(std::uint16_t vendorId, std::uint16_t productId, std::vector<UsbBootloader>& found,
                        std::string& error);

// What to do about a bootloader that was seen but could not be opened.
std::string accessDeniedDetail(const std::string& path);

} // namespace tarvane
