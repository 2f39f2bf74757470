#pragma once

#include "usb/ReportPort.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvane {

// What tarvane-sim's transports serve: a board that takes the host's reports
// and queues its own, each stamped with the time it may be read. The
// simulated board and the replay of a recorded one are the two there are.
class BoardModel {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~BoardModel() = default;

    // A host connects: whatever the last connection left half-done is dropped.
    virtual void connect() = 0;
    // The board has dropped this connection; reports are ignored until connect().
    virtual bool connectionClosed() const = 0;
    // Transports must read no more reports, though they still deliver the queued ones.
    virtual bool readingStopped() const = 0;
    // Takes one report that reached the board at `now`; returns when it has crossed the bus.
    virtual Clock::time_point receiveReport(ReportView report, Clock::time_point now) = 0;
    // The next queued report if it is due at `now`.
    virtual bool takeReport(ReportBuffer report, Clock::time_point now) = 0;
    // When the next queued report is due; nothing when none is queued.
    virtual std::optional<Clock::time_point> nextReportTime() const = 0;
    // Every request that arrived whole, for a transport that acts after new ones.
    virtual std::uint32_t requestCount() const = 0;
    // The 512 KiB from 0x1D000000; empty for a board that has no flash of its own.
    virtual std::vector<std::uint8_t> flash() const = 0;
};

} // namespace tarvane
