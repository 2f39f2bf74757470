#include "usb/win32/Win32ReportPort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

namespace tarvane {
namespace {

// Writes through the overlapped handle and waits for the write to end; once
// the port closes, a write still pending is cancelled.
class Win32WriteSink final : public ReportSink {
public:
    explicit Win32WriteSink(UniqueHandle handle) : handle_(std::move(handle)) {}

    bool write(const ReportTransfer& transfer, const std::atomic<bool>& closing) override {
        if (!handle_ || !event_) return false;
        ResetEvent(event_.get());
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_.get();
        if (!WriteFile(handle_.get(), transfer.data(), Win32ReportPort::kTransferSize, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        // A board still on the bus may never take it: only closing ends the wait.
        while (WaitForSingleObject(event_.get(), kClosingCheckMs) != WAIT_OBJECT_0) {
            if (closing.load()) CancelIoEx(handle_.get(), &overlapped);
        }
        // Over, cancelled or not; one that completed just before the cancel counts.
        DWORD written = 0;
        return GetOverlappedResult(handle_.get(), &overlapped, &written, FALSE) &&
               written == Win32ReportPort::kTransferSize;
    }

private:
    static constexpr DWORD kClosingCheckMs = 100;
    UniqueHandle handle_;
    UniqueHandle event_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

} // namespace

Win32ReportPort::Win32ReportPort(UniqueHandle writeHandle, UniqueHandle readHandle, std::unique_ptr<BoardMutex> mutex)
    : mutex_(std::move(mutex)), read_(std::move(readHandle)), writer_(std::make_unique<Win32WriteSink>(std::move(writeHandle))) {}

Win32ReportPort::~Win32ReportPort() {
    if (read_) CancelIoEx(read_.get(), nullptr);
}

bool Win32ReportPort::writeReport(ReportView report) {
    ReportBytes bytes{};
    std::copy(report.begin(), report.end(), bytes.begin());
    return writer_.write(std::span(&bytes, 1));
}

bool Win32ReportPort::writeReports(std::span<const ReportBytes> reports) {
    return writer_.write(reports);
}

ReadResult Win32ReportPort::readReport(ReportBuffer report, int timeoutMs) {
    if (!read_) return ReadResult::Error;
    // A driver busy with a held write may hold a read, and its cancel, as long:
    // none is started meanwhile.
    const auto started = std::chrono::steady_clock::now();
    if (!writer_.waitIdle(started + std::chrono::milliseconds(std::max(timeoutMs, 0)))) return ReadResult::Timeout;
    timeoutMs -= static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
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
