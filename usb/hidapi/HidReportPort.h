#pragma once

#include "usb/ReportPort.h"
#include "usb/hidapi/HidApi.h"

#include <memory>
#include <thread>

namespace tarvane {

// A USB HID bootloader as a ReportPort. Each report goes out as 65 bytes,
// report ID 0 then the 64 report bytes; each read waits at most its limit.
// A device that fails (unplugged) answers Error after sleeping out the
// limit, so a worker polling it never spins.
//
// Writes run on a thread of their own: the system may hold one for seconds
// and nothing cancels it, so the caller waits at most kReportWriteLimitMs for
// each report, and the device closes only once a held write has returned.
// Only one thread uses the device at a time: reads wait while a write is held.
class HidReportPort final : public ReportPort {
public:
    explicit HidReportPort(std::unique_ptr<HidConnection> connection);
    // Returns at once, even while a write is held.
    ~HidReportPort() override;
    HidReportPort(const HidReportPort&) = delete;
    HidReportPort& operator=(const HidReportPort&) = delete;

    // False when a report was not taken whole within kReportWriteLimitMs,
    // counting the wait for a write still held from before; the reports after
    // it are then never sent.
    bool writeReport(ReportView report) override;
    bool writeReports(std::span<const ReportBytes> reports) override;
    // Timeout, after the limit, while a write is still held.
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    struct Device;
    static void writeLoop(const std::shared_ptr<Device>& device);

    std::shared_ptr<Device> device_;
    std::thread writer_;
};

} // namespace tarvane
