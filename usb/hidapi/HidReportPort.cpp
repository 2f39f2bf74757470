#include "usb/hidapi/HidReportPort.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace tarvane {

HidReportPort::HidReportPort(std::unique_ptr<HidConnection> connection) : connection_(std::move(connection)) {}

bool HidReportPort::writeReport(ReportView report) {
    std::array<std::uint8_t, kReportSize + 1> transfer{};
    transfer[0] = 0; // the bootloader's reports are unnumbered
    std::copy(report.begin(), report.end(), transfer.begin() + 1);
    return connection_->write(transfer) == static_cast<int>(transfer.size());
}

ReadResult HidReportPort::readReport(ReportBuffer report, int timeoutMs) {
    const int limit = std::max(timeoutMs, 0); // a negative limit would block for ever
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    // Unnumbered input reports arrive without the report-ID byte.
    std::array<std::uint8_t, kReportSize> received{};
    const int got = connection_->readTimeout(received, limit);
    if (got > 0) {
        std::copy(received.begin(), received.end(), report.begin());
        return ReadResult::Report;
    }
    if (got == 0) return ReadResult::Timeout;
    // A gone device fails at once, every time; the caller polls again at once.
    std::this_thread::sleep_until(deadline);
    return ReadResult::Error;
}

} // namespace tarvane
