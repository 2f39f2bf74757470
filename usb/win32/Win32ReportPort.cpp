#include "usb/win32/Win32ReportPort.h"

#include <algorithm>
#include <array>

namespace tarvane {

Win32ReportPort::Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle)
    : write_(std::move(writeHandle)), read_(std::move(readHandle)) {}

Win32ReportPort::~Win32ReportPort() {
    if (write_) CancelIoEx(write_.get(), nullptr);
    if (read_) CancelIoEx(read_.get(), nullptr);
}

bool Win32ReportPort::writeReport(ReportView report) {
    if (!write_) return false;
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;

    std::array<std::uint8_t, kTransferSize> transfer{};
    std::copy(report.begin(), report.end(), transfer.begin() + 1);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    if (!WriteFile(write_.get(), transfer.data(), kTransferSize, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }

    // A board still on the bus may stop taking output reports for good.
    if (WaitForSingleObject(event.get(), kReportWriteLimitMs) != WAIT_OBJECT_0) CancelIoEx(write_.get(), &overlapped);
    // The write, cancelled or not, must be over before its buffer and
    // OVERLAPPED go away; one that completed just before the cancel counts.
    DWORD written = 0;
    return GetOverlappedResult(write_.get(), &overlapped, &written, TRUE) && written == kTransferSize;
}

ReadResult Win32ReportPort::readReport(ReportBuffer report, int timeoutMs) {
    if (!read_) return ReadResult::Error;
    const UniqueHandle event(CreateEventW(nullptr, FALSE, TRUE, nullptr));
    if (!event) return ReadResult::Error;

    std::array<std::uint8_t, kTransferSize> transfer{};
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    if (!ReadFile(read_.get(), transfer.data(), kTransferSize, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Nothing was started: an unplugged device answers this way at once.
        return ReadResult::Error;
    }

    DWORD got = 0;
    if (WaitForSingleObject(event.get(), static_cast<DWORD>(std::max(timeoutMs, 0))) != WAIT_OBJECT_0) {
        CancelIo(read_.get());
        // The cancelled read must be over before its buffer and event go away.
        // If it completed just before the cancel, its report is kept.
        if (!GetOverlappedResult(read_.get(), &overlapped, &got, TRUE) || got == 0) return ReadResult::Timeout;
    } else if (!GetOverlappedResult(read_.get(), &overlapped, &got, FALSE)) {
        // A read that ended in failure signals its event too; its buffer holds no report.
        return ReadResult::Error;
    }
    if (got == 0) return ReadResult::Timeout;
    std::copy(transfer.begin() + 1, transfer.end(), report.begin());
    return ReadResult::Report;
}

} // namespace tarvane
