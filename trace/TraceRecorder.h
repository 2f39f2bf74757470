#pragma once

#include "trace/TraceFormat.h"
#include "trace/TraceSink.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace tarvane {

// The trace of the last connection, kept in memory for as long as the
// program runs: what a support report carries. A connection is one update
// (or one probe), so it holds the update running now, or the last one once
// it has ended, until the next opens. Its text is a trace of one connection
// in the trace format, numbered 1 whatever its number in the run, so
// parseTrace and tarvane-sim --replay read it as they read a file.
//
// Memory is bounded: once a connection's text reaches `bound` bytes its
// further reports are left out and a comment says so; the connection's
// opening, loss and close are still kept. Thread-safe: the worker reports,
// the UI thread opens, closes and reads.
class TraceRecorder final : public TraceSink {
public:
    // 4 MiB: the Display sample's update traces to 287 KB (1411 reports); one
    // that fills the whole 512 KiB flash, to about 3 MB.
    static constexpr std::size_t kDefaultBound = 4 * 1024 * 1024;

    explicit TraceRecorder(const TraceHeader& header, std::size_t bound = kDefaultBound);
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    std::uint32_t openConnection() override;
    void closeConnection(std::uint32_t connection) override;
    void connectionLost(std::uint32_t connection, std::string_view why) override;
    void report(std::int64_t micros, char direction, ReportView report) override;

    // The header and the last connection, as a trace; the header alone
    // before any connection.
    std::string text() const;
    // A connection has been recorded since the program started.
    bool hasConnection() const;
    // The last connection's reports reached the bound and some are left out.
    bool truncated() const;

private:
    // Events of other connections than the last (a port closing late) are not its own.
    bool isCurrentLocked(std::uint32_t connection) const { return connection == connections_; }

    const std::size_t bound_;
    mutable std::mutex mutex_;
    std::string header_;
    std::string connection_;
    std::uint32_t connections_ = 0;
    bool truncated_ = false;
};

} // namespace tarvane
