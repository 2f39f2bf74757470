#pragma once

#include "usb/ReportPort.h"
#include "usb/ReportWriter.h"
#include "usb/win32/BoardMutex.h"
#include "win32/Win32Handles.h"

#include <memory>

namespace tarvane {

// A HID bootloader opened through two overlapped handles of one open of its
// device path, held for this updater alone: output reports go through the first, input reports come through the
// second, and each transfer gives up after its limit, so that a board that
// stops taking or sending reports never holds the link's worker. Writes go
// through a ReportWriter: some drivers (Wine's among them) hold the very call
// that starts a write until the board takes it, and every read meanwhile, so
// no read starts while a write is in hand.
// Each transfer is 65 bytes: report ID 0, then the 64 report bytes.
class Win32ReportPort final : public ReportPort {
public:
    static constexpr unsigned long kTransferSize = kReportSize + 1;

    // `mutex`, when given, is held as long as the port lives.
    Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle, std::unique_ptr<BoardMutex> mutex = nullptr);
    // Cancels a pending read; a write still pending is cancelled in the
    // background, where its handle closes once it is over.
    ~Win32ReportPort() override;
    Win32ReportPort(const Win32ReportPort&) = delete;
    Win32ReportPort& operator=(const Win32ReportPort&) = delete;

    // False when a report was not taken whole within kReportWriteLimitMs,
    // counting the wait for a write given up on before.
    bool writeReport(ReportView report) override;
    bool writeReports(std::span<const ReportBytes> reports) override;
    ReadResult readReport(ReportBuffer report, int timeoutMs) override;

private:
    // Declared first, so let go only once the handles are closed.
    std::unique_ptr<BoardMutex> mutex_;
    UniqueHandle read_;
    ReportWriter writer_;
};

} // namespace tarvane
