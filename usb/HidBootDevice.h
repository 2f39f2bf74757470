#pragma once

#include "usb/DeviceAddress.h"
#include "usb/PortOpener.h"
#include "usb/ReportPort.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// The board's bootloader as the link sees it: found and opened by address,
// frames written as 64-byte reports, reports read with a 100 ms limit.
// find and close run on the UI thread while no worker runs; writeFrame and
// readReport run on the worker only.
class HidBootDevice {
public:
    static constexpr int kReadLimitMs = 100;

    HidBootDevice() = default;
    HidBootDevice(const HidBootDevice&) = delete;
    HidBootDevice& operator=(const HidBootDevice&) = delete;

    void setBackend(DeviceAddress address, PortOpener opener);
    const DeviceAddress& address() const { return address_; }

    // Opens the bootloader; false when none is found ("Device not found"),
    // with any further explanation in lastDetail().
    bool find(std::uint16_t vendorId, std::uint16_t productId);
    const std::string& lastDetail() const { return detail_; }

    // Sends the frame as ceil(length / 64) reports, the last filled with zeros.
    void writeFrame(const std::uint8_t* bytes, std::size_t length);
    // Waits at most 100 ms; returns 64 with a report's bytes, or 0.
    std::size_t readReport(std::uint8_t* data);
    void close();

    bool isOpen() const { return open_.load(std::memory_order_acquire); }

private:
    DeviceAddress address_;
    PortOpener opener_;
    std::unique_ptr<ReportPort> port_;
    std::atomic<bool> open_{false};
    std::string detail_;
};

} // namespace tarvane
