#pragma once

#include "usb/UsbBackend.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarvane {

// One opened HID device. Mirrors the library's C calls so that everything
// above it (report packing, search, permissions) runs against a fake in tests.
class HidConnection {
public:
    virtual ~HidConnection() = default;

    // Bytes written, or -1 when the device refused or is gone.
    virtual int write(std::span<const std::uint8_t> data) = 0;
    // Bytes read, 0 when nothing came within timeoutMs, -1 when the device failed.
    virtual int readTimeout(std::span<std::uint8_t> data, int timeoutMs) = 0;
    // The last failure of this device, in words.
    virtual std::string error() = 0;
};

// The system's HID library: enumeration and opening by path.
class HidApi {
public:
    virtual ~HidApi() = default;

    // Interfaces with these IDs; a platform may return others too.
    virtual std::vector<HidDeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) = 0;
    // Nothing when the device cannot be opened; error() then says why.
    virtual std::unique_ptr<HidConnection> open(const std::string& path) = 0;
    virtual std::string error() = 0;
    // True when the device node exists but this user lacks the rights to it;
    // the library's open failure alone does not tell that apart.
    virtual bool accessDenied(const std::string& path) = 0;
};

} // namespace tarvane
