#pragma once

#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

// The `usb` and `usb:PATH` addresses. One back-end implements the functions
// below in its UsbBackend.cpp, chosen by CMake: usb/hidapi on Linux and
// macOS, usb/win32 on Windows, usb/none where neither is built. The port
// factory, the probe and --list call them alike.

// One HID interface as the system enumerates it; strings are UTF-8.
struct HidDeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string product;
    std::string serial;
};

// A connected bootloader as the listing shows it.
struct UsbBootloader {
    HidDeviceInfo info;
    bool accessDenied = false;
    // Another updater holds it for its update.
    bool inUse = false;
};

// The bootloader at `path`, or the first one found when `path` is empty.
// Nothing, with `detail` explaining a near miss, when none opens.
std::unique_ptr<ReportPort> openUsbReportPort(const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail);

// Every connected bootloader; false, with `error`, when the system's HID
// library or the device enumeration is unavailable.
bool listUsbBootloaders(std::uint16_t vendorId, std::uint16_t productId, std::vector<UsbBootloader>& found,
                        std::string& error);

// One line telling the user that the device at `path` was seen but refused,
// and how to grant the access.
std::string accessDeniedDetail(const std::string& path);

// Why this build reaches no USB board, one line for the user; empty where a
// back-end is built.
std::string missingUsbBackendNote();

// One line telling the user that the device at `path` is held by another
// updater, the same on every platform.
inline std::string inUseDetail(const std::string& path) {
    return "The bootloader at " + path +
           " is in use by another program: wait until that update has ended, then try again.";
}

} // namespace tarvane
