#include "trace/TraceRecorder.h"

namespace tarvane {
namespace {

// The kept connection reads as the trace's first, whatever the run counted.
constexpr std::uint32_t kKeptNumber = 1;

} // namespace

TraceRecorder::TraceRecorder(const TraceHeader& header, std::size_t bound) : bound_(bound) {
    appendTraceHeader(header_, header);
}

std::uint32_t TraceRecorder::openConnection() {
    const std::lock_guard lock(mutex_);
    connection_.clear();
    truncated_ = false;
    appendConnectionLine(connection_, kKeptNumber, "opened");
    return ++connections_;
}

void TraceRecorder::closeConnection(std::uint32_t connection) {
    const std::lock_guard lock(mutex_);
    if (isCurrentLocked(connection)) appendConnectionLine(connection_, kKeptNumber, "closed");
}

void TraceRecorder::connectionLost(std::uint32_t connection, std::string_view why) {
    const std::lock_guard lock(mutex_);
    if (isCurrentLocked(connection)) appendConnectionLine(connection_, kKeptNumber, "lost: " + std::string(why));
}

void TraceRecorder::report(std::int64_t micros, char direction, ReportView report) {
    const std::lock_guard lock(mutex_);
    if (truncated_) return;
    if (connection_.size() >= bound_) {
        truncated_ = true;
        connection_ += "# the recording stops here: its bound of " + std::to_string(bound_) + " bytes is reached\n";
        return;
    }
    appendReportLine(connection_, micros, direction, report);
}

std::string TraceRecorder::text() const {
    const std::lock_guard lock(mutex_);
    return header_ + connection_;
}

bool TraceRecorder::hasConnection() const {
    const std::lock_guard lock(mutex_);
    return connections_ > 0;
}

bool TraceRecorder::truncated() const {
    const std::lock_guard lock(mutex_);
    return truncated_;
}

} // namespace tarvane
