#pragma once

#include "usb/ReportPort.h"
#include "win32/Win32Handles.h"

#include <memory>

namespace tarvane {

// A HID bootloader opened through two overlapped handles of the same device
// path: output reports go through the first, input reports come through the
// second, and each transfer gives up after its limit, so that a board that
// stops taking or sending reports never holds the link's worker.
// Each transfer is 65 bytes: report ID 0, then the 64 report bytes.
class Win32ReportPort final : public ReportPort {
public:
    static constexpr unsigned long kTransferSize = kReportSize + 1;

    Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle);
    // Cancels whatever is still pending on either handle before closing it;
    // a write still pending is cancelled and waited for in the background.
    ~Win32ReportPort() override;
    Win32ReportPort(const Win32ReportPort&) = delete;
    Win32ReportPort& operator=(const Win32ReportPort&) = delete;

    // False when the report was not taken whole within kReportWriteLimitMs,
    // counting the wait for a write given up on before.
    bool writeReport(ReportView report) override;
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    struct Transfer;

    UniqueHandle write_;
    UniqueHandle read_;
    // A write given up on and still pending: the next write waits for it, and
    // its buffer and OVERLAPPED live until it is over.
    std::unique_ptr<Transfer> held_;
};

} // namespace tarvane
