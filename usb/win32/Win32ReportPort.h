#pragma once

#include "usb/ReportPort.h"
#include "win32/Win32Handles.h"

namespace tarvane {

// A HID bootloader opened through two handles of the same device path:
// output reports go synchronously through the first, input reports are read
// overlapped through the second so that a read can give up after its limit.
// Each transfer is 65 bytes: report ID 0, then the 64 report bytes.
class Win32ReportPort final : public ReportPort {
public:
    static constexpr unsigned long kTransferSize = kReportSize + 1;

    Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle);
    // Cancels whatever is still pending on either handle before closing it.
    ~Win32ReportPort() override;
    Win32ReportPort(const Win32ReportPort&) = delete;
    Win32ReportPort& operator=(const Win32ReportPort&) = delete;

    bool writeReport(ReportView report) override;
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    UniqueHandle write_;
    UniqueHandle read_;
};

} // namespace tarvane
