#include "usb/ReportWriter.h"

#include "usb/BackgroundThreads.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tarvane {

// What the writer and its thread share; whichever lets go last frees it.
struct ReportWriter::Shared {
    explicit Shared(std::unique_ptr<ReportSink> s) : sink(std::move(s)) {}

    std::unique_ptr<ReportSink> sink;
    std::mutex mutex;
    std::condition_variable changed;
    // While `writing` is set, the thread alone touches the sink and the
    // transfers; `sent` counts those taken whole, the last at `lastSent`.
    std::vector<ReportTransfer> transfers;
    std::size_t sent = 0;
    Clock::time_point lastSent;
    bool writing = false;
    bool failed = false;
    bool abandoned = false;
    std::atomic<bool> closing{false};
    bool finished = false;
};

ReportWriter::ReportWriter(std::unique_ptr<ReportSink> sink)
    : shared_(std::make_shared<Shared>(std::move(sink))), thread_([shared = shared_] { run(shared); }) {}

ReportWriter::~ReportWriter() {
    bool held = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->closing = true;
        held = shared_->writing;
    }
    shared_->changed.notify_all();
    if (!held) {
        thread_.join();
        return;
    }
    finishInBackground(std::move(thread_), [shared = shared_] {
        const std::lock_guard lock(shared->mutex);
        return shared->finished;
    });
}

void ReportWriter::run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&] { return s.writing || s.closing; });
        if (!s.writing) break;
        while (s.sent < s.transfers.size() && !s.failed && !s.abandoned) {
            const ReportTransfer& transfer = s.transfers[s.sent];
            lock.unlock();
            const bool whole = s.sink->write(transfer, s.closing);
            lock.lock();
            if (whole) {
                ++s.sent;
                s.lastSent = Clock::now();
            } else {
                s.failed = true;
            }
        }
        s.writing = false;
        s.changed.notify_all();
    }
    // Here, after a held write has returned.
    s.sink.reset();
    s.finished = true;
}

bool ReportWriter::write(std::span<const ReportBytes> reports) {
    const auto limit = std::chrono::milliseconds(kReportWriteLimitMs);
    auto deadline = Clock::now() + limit;
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    // A write held from before keeps its place: reports go out in order.
    if (!s.changed.wait_until(lock, deadline, [&] { return !s.writing; })) return false;
    s.transfers.resize(reports.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        s.transfers[i][0] = 0; // the bootloader's reports are unnumbered
        std::copy(reports[i].begin(), reports[i].end(), s.transfers[i].begin() + 1);
    }
    s.sent = 0;
    s.lastSent = Clock::now();
    s.failed = false;
    s.abandoned = false;
    s.writing = true;
    // Woken once, when the frame is out: a wake-up per report costs.
    s.changed.notify_all();
    while (s.writing) {
        if (s.changed.wait_until(lock, deadline) == std::cv_status::no_timeout || !s.writing) continue;
        // Each report has its own limit, from the moment the one before it went out.
        deadline = s.lastSent + limit;
        if (deadline > Clock::now()) continue;
        // The held report may still go out; the ones after it never do.
        s.abandoned = true;
        return false;
    }
    return !s.failed;
}

bool ReportWriter::waitIdle(Clock::time_point deadline) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_until(lock, deadline, [&] { return !shared_->writing; });
}

} // namespace tarvane
