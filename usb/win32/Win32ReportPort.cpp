#include "usb/win32/Win32ReportPort.h"

#include "usb/BackgroundThreads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace tarvane {

// One output report on its way.
struct Win32ReportPort::Transfer {
    UniqueHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped{};
    std::array<std::uint8_t, kTransferSize> bytes{};

    bool over(DWORD waitMs) const { return WaitForSingleObject(event.get(), waitMs) == WAIT_OBJECT_0; }
};

Win32ReportPort::Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle)
    : write_(std::move(writeHandle)), read_(std::move(readHandle)) {}

Win32ReportPort::~Win32ReportPort() {
    if (read_) CancelIoEx(read_.get(), nullptr);
    if (!held_ || held_->over(0)) {
        if (write_) CancelIoEx(write_.get(), nullptr);
        return;
    }
    // Cancelling may itself wait for the driver (under Wine until the kernel's
    // own limit is up), so it happens in the background, and the handle and the
    // transfer live there until the write is over.
    auto over = std::make_shared<std::atomic<bool>>(false);
    finishInBackground(std::thread([transfer = std::move(held_), handle = std::move(write_), over] {
                           CancelIoEx(handle.get(), &transfer->overlapped);
                           transfer->over(INFINITE);
                           over->store(true);
                       }),
                       [over] { return over->load(); });
}

bool Win32ReportPort::writeReport(ReportView report) {
    if (!write_) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReportWriteLimitMs);
    const auto left = [deadline] {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(ms.count(), 0));
    };
    // A write given up on before keeps its place: reports go out in order.
    if (held_) {
        if (!held_->over(left())) return false;
        held_.reset();
    }

    auto transfer = std::make_unique<Transfer>();
    if (!transfer->event) return false;
    std::copy(report.begin(), report.end(), transfer->bytes.begin() + 1);
    transfer->overlapped.hEvent = transfer->event.get();
    if (!WriteFile(write_.get(), transfer->bytes.data(), kTransferSize, nullptr, &transfer->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }

    // A board still on the bus may stop taking output reports for good. The
    // write is left pending, not cancelled: a cancel can wait on the driver.
    if (!transfer->over(left())) {
        held_ = std::move(transfer);
        return false;
    }
    DWORD written = 0;
    return GetOverlappedResult(write_.get(), &transfer->overlapped, &written, FALSE) && written == kTransferSize;
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
