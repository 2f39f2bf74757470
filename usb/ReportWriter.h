#pragma once

#include "usb/ReportPort.h"

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <span>
#include <thread>

namespace tarvane {

// One output report as it goes to a device: report ID 0, then the 64 bytes.
using ReportTransfer = std::array<std::uint8_t, kReportSize + 1>;

// Where a ReportWriter's thread sends its reports, one blocking write at a
// time. A write may end early, unsent, once `closing` turns true.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual bool write(const ReportTransfer& transfer, const std::atomic<bool>& closing) = 0;
};

// Sends reports on a thread of its own. A system may hold a write for
// seconds (a board that stays on the bus but stops reading) and not let it
// be cancelled, or block in the very call that starts it; the caller waits
// at most kReportWriteLimitMs per report all the same. The sink goes only
// once a held write has returned.
class ReportWriter {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReportWriter(std::unique_ptr<ReportSink> sink);
    // Returns at once, even while a write is held: it ends in the background.
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Sends the reports in order; false when one was not taken whole within
    // its limit, counting the wait for a write held from before. The reports
    // after it are then never sent.
    bool write(std::span<const ReportBytes> reports);
    // Waits until no write is in hand, at most until `deadline`.
    bool waitIdle(Clock::time_point deadline);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace tarvane
