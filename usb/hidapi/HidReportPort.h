#pragma once

#include "usb/ReportPort.h"
#include "usb/hidapi/HidApi.h"

#include <memory>

namespace tarvane {

// A USB HID bootloader as a ReportPort. Each report goes out as 65 bytes,
// report ID 0 then the 64 report bytes; each read waits at most its limit.
// A device that fails (unplugged) answers Error after sleeping out the
// limit, so a worker polling it never spins.
class HidReportPort final : public ReportPort {
public:
    explicit HidReportPort(std::unique_ptr<HidConnection> connection);

    bool writeReport(ReportView report) override;
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    std::unique_ptr<HidConnection> connection_;
};

} // namespace tarvane
