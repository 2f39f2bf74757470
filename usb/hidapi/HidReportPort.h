#pragma once

#include "usb/ReportPort.h"
#include "usb/ReportWriter.h"
#include "usb/hidapi/HidApi.h"

#include <memory>

namespace tarvane {

// A USB HID bootloader as a ReportPort. Each report goes out as 65 bytes,
// report ID 0 then the 64 report bytes, through a ReportWriter: the kernel
// holds a write to a board that stopped reading for seconds, the caller
// waits at most kReportWriteLimitMs. Each read waits at most its limit, and
// only while no write is in hand, so one thread uses the device at a time.
// A device that fails (unplugged) answers Error after sleeping out the
// limit, so a worker polling it never spins.
class HidReportPort final : public ReportPort {
public:
    explicit HidReportPort(std::unique_ptr<HidConnection> connection);

    bool writeReport(ReportView report) override;
    bool writeReports(std::span<const ReportBytes> reports) override;
    // Timeout, after the limit, while a write is still held.
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    // Shared with the writer's sink, which closes it once a held write is over.
    std::shared_ptr<HidConnection> connection_;
    ReportWriter writer_;
};

} // namespace tarvane
