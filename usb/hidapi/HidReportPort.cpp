#include "usb/hidapi/HidReportPort.h"

#include "usb/BackgroundThreads.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tarvane {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

// What the port and its writer thread share; whichever lets go last frees it.
struct HidReportPort::Device {
    explicit Device(std::unique_ptr<HidConnection> c) : connection(std::move(c)) {}

    std::unique_ptr<HidConnection> connection;
    std::mutex mutex;
    std::condition_variable changed;
    // While `writing` is set, the writer thread alone touches the connection
    // and the transfers; `sent` counts those taken whole, the last at `lastSent`.
    std::vector<std::array<std::uint8_t, kReportSize + 1>> transfers;
    std::size_t sent = 0;
    Clock::time_point lastSent;
    bool writing = false;
    bool failed = false;
    bool abandoned = false;
    bool closing = false;
    bool finished = false;
};

HidReportPort::HidReportPort(std::unique_ptr<HidConnection> connection)
    : device_(std::make_shared<Device>(std::move(connection))), writer_([device = device_] { writeLoop(device); }) {}

HidReportPort::~HidReportPort() {
    bool held = false;
    {
        const std::lock_guard lock(device_->mutex);
        device_->closing = true;
        held = device_->writing;
    }
    device_->changed.notify_all();
    if (!held) {
        writer_.join();
        return;
    }
    finishInBackground(std::move(writer_), [device = device_] {
        const std::lock_guard lock(device->mutex);
        return device->finished;
    });
}

void HidReportPort::writeLoop(const std::shared_ptr<Device>& device) {
    Device& d = *device;
    std::unique_lock lock(d.mutex);
    for (;;) {
        d.changed.wait(lock, [&] { return d.writing || d.closing; });
        if (!d.writing) break;
        while (d.sent < d.transfers.size() && !d.failed && !d.abandoned) {
            const auto& transfer = d.transfers[d.sent];
            lock.unlock();
            const bool whole = d.connection->write(transfer) == static_cast<int>(transfer.size());
            lock.lock();
            if (whole) {
                ++d.sent;
                d.lastSent = Clock::now();
            } else {
                d.failed = true;
            }
        }
        d.writing = false;
        d.changed.notify_all();
    }
    // Closed here, after a held write has returned.
    d.connection.reset();
    d.finished = true;
}

bool HidReportPort::writeReport(ReportView report) {
    ReportBytes bytes{};
    std::copy(report.begin(), report.end(), bytes.begin());
    return writeReports(std::span(&bytes, 1));
}

bool HidReportPort::writeReports(std::span<const ReportBytes> reports) {
    const auto limit = std::chrono::milliseconds(kReportWriteLimitMs);
    auto deadline = Clock::now() + limit;
    Device& d = *device_;
    std::unique_lock lock(d.mutex);
    // A write held from before keeps its place: reports go out in order.
    if (!d.changed.wait_until(lock, deadline, [&] { return !d.writing; })) return false;
    d.transfers.resize(reports.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        d.transfers[i][0] = 0; // the bootloader's reports are unnumbered
        std::copy(reports[i].begin(), reports[i].end(), d.transfers[i].begin() + 1);
    }
    d.sent = 0;
    d.lastSent = Clock::now();
    d.failed = false;
    d.abandoned = false;
    d.writing = true;
    d.changed.notify_all();
    while (d.writing) {
        if (d.changed.wait_until(lock, deadline) == std::cv_status::no_timeout || !d.writing) continue;
        // Each report has its own limit, from the moment the one before it went out.
        deadline = d.lastSent + limit;
        if (deadline > Clock::now()) continue;
        // The held report may still go out; the ones after it never do.
        d.abandoned = true;
        return false;
    }
    return !d.failed;
}

ReadResult HidReportPort::readReport(ReportBuffer report, int timeoutMs) {
    const int limit = std::max(timeoutMs, 0); // a negative limit would block for ever
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    Device& d = *device_;
    {
        std::unique_lock lock(d.mutex);
        if (!d.changed.wait_until(lock, deadline, [&] { return !d.writing; })) return ReadResult::Timeout;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    // Unnumbered input reports arrive without the report-ID byte.
    std::array<std::uint8_t, kReportSize> received{};
    const int got = d.connection->readTimeout(received, static_cast<int>(std::max<long long>(left, 0)));
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
