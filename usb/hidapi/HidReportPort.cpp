#include "usb/hidapi/HidReportPort.h"

#include "usb/hidapi/BackgroundThreads.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

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
    // and the transfer.
    std::array<std::uint8_t, kReportSize + 1> transfer{};
    bool writing = false;
    bool written = false;
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
        lock.unlock();
        const bool whole = d.connection->write(d.transfer) == static_cast<int>(d.transfer.size());
        lock.lock();
        d.written = whole;
        d.writing = false;
        d.changed.notify_all();
    }
    // Closed here, after a held write has returned.
    d.connection.reset();
    d.finished = true;
}

bool HidReportPort::writeReport(ReportView report) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReportWriteLimitMs);
    Device& d = *device_;
    std::unique_lock lock(d.mutex);
    // A write held from before keeps its place: reports go out in order.
    if (!d.changed.wait_until(lock, deadline, [&] { return !d.writing; })) return false;
    d.transfer[0] = 0; // the bootloader's reports are unnumbered
    std::copy(report.begin(), report.end(), d.transfer.begin() + 1);
    d.writing = true;
    d.changed.notify_all();
    if (!d.changed.wait_until(lock, deadline, [&] { return !d.writing; })) return false;
    return d.written;
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
