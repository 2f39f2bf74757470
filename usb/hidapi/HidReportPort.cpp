#include "usb/hidapi/HidReportPort.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace tarvane {
namespace {

class HidWriteSink final : public ReportSink {
public:
    explicit HidWriteSink(std::shared_ptr<HidConnection> connection) : connection_(std::move(connection)) {}
    // The library's write cannot be cancelled; it ends when the system says.
    bool write(const ReportTransfer& transfer, const std::atomic<bool>&) override {
        return connection_->write(transfer) == static_cast<int>(transfer.size());
    }

private:
    std::shared_ptr<HidConnection> connection_;
};

} // namespace

HidReportPort::HidReportPort(std::unique_ptr<HidConnection> connection)
    : connection_(std::move(connection)), writer_(std::make_unique<HidWriteSink>(connection_)) {}

bool HidReportPort::writeReport(ReportView report) {
    ReportBytes bytes{};
    std::copy(report.begin(), report.end(), bytes.begin());
    return writer_.write(std::span(&bytes, 1));
}

bool HidReportPort::writeReports(std::span<const ReportBytes> reports) {
    return writer_.write(reports);
}

ReadResult HidReportPort::readReport(ReportBuffer report, int timeoutMs) {
    const int limit = std::max(timeoutMs, 0); // a negative limit would block for ever
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    if (!writer_.waitIdle(deadline)) return ReadResult::Timeout;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    // Unnumbered input reports arrive without the report-ID byte.
    std::array<std::uint8_t, kReportSize> received{};
    const int got = connection_->readTimeout(received, static_cast<int>(std::max<long long>(left.count(), 0)));
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
