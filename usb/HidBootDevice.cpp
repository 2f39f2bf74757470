#include "usb/HidBootDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarvane {

void HidBootDevice::setBackend(DeviceAddress address, PortOpener opener) {
    close();
    address_ = std::move(address);
    opener_ = std::move(opener);
}

bool HidBootDevice::find(std::uint16_t vendorId, std::uint16_t productId) {
    close();
    detail_.clear();
    if (opener_) port_ = opener_(address_, vendorId, productId, detail_);
    open_.store(port_ != nullptr, std::memory_order_release);
    return port_ != nullptr;
}

void HidBootDevice::writeFrame(const std::uint8_t* bytes, std::size_t length) {
    if (!isOpen() || length == 0) return;
    // A whole request frame fits; longer ones go out in several hand-overs.
    std::array<ReportBytes, 16> reports{};
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < length; pos += kReportSize) {
        const std::size_t slice = std::min(kReportSize, length - pos);
        reports[count].fill(0);
        std::memcpy(reports[count].data(), bytes + pos, slice);
        if (++count < reports.size() && pos + slice < length) continue;
        // A failed write shows up as a missing answer; the link re-sends.
        if (!port_->writeReports(std::span(reports.data(), count))) return;
        count = 0;
    }
}

std::size_t HidBootDevice::readReport(std::uint8_t* data) {
    if (!isOpen()) return 0;
    const auto started = std::chrono::steady_clock::now();
    std::array<std::uint8_t, kReportSize> report{};
    switch (port_->readReport(report, kReadLimitMs)) {
    case ReadResult::Report:
        std::memcpy(data, report.data(), kReportSize);
        return kReportSize;
    case ReadResult::Error: {
        // A vanished device answers at once; wait out the limit so the
        // worker's loop stays a poll and never becomes a busy spin.
        const auto limit = started + std::chrono::milliseconds(kReadLimitMs);
        std::this_thread::sleep_until(limit);
        return 0;
    }
    case ReadResult::Timeout:
        break;
    }
    return 0;
}

void HidBootDevice::close() {
    open_.store(false, std::memory_order_release);
    port_.reset();
}

} // namespace tarvane
