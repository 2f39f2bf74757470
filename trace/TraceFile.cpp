#include "trace/TraceFile.h"

#include "system/OutputWrite.h"
#include "trace/TraceFormat.h"

#include <cerrno>
#include <cstring>

namespace tarvane {
namespace {

// Reports are about 200 bytes of text; this holds a few hundred of them.
constexpr std::size_t kFlushAt = 64 * 1024;
// A whole update's trace is a few megabytes: a reader that lets this much
// pile up has stopped reading.
constexpr std::size_t kMostWaiting = 256 * 1024 * 1024;

std::string systemReason(int error) { return error != 0 ? std::strerror(error) : "the write failed"; }

} // namespace

TraceFile::TraceFile(FilePtr file, std::string path, const TraceHeader& header)
    : path_(std::move(path)), file_(std::move(file)), flushAt_(kFlushAt) {
    if (file_) makeWritesNonBlocking(file_.get());
    buffer_.reserve(kFlushAt + 1024);
    appendTraceHeader(buffer_, header);
}

TraceFile::~TraceFile() { flush(); }

std::uint32_t TraceFile::openConnection() {
    const std::lock_guard lock(mutex_);
    const std::uint32_t n = ++connections_;
    if (file_) appendConnectionLine(buffer_, n, "opened");
    return n;
}

void TraceFile::closeConnection(std::uint32_t connection) {
    const std::lock_guard lock(mutex_);
    if (file_) appendConnectionLine(buffer_, connection, "closed");
    flushLocked();
}

void TraceFile::connectionLost(std::uint32_t connection, std::string_view why) {
    const std::lock_guard lock(mutex_);
    if (file_) appendConnectionLine(buffer_, connection, "lost: " + std::string(why));
}

void TraceFile::report(std::int64_t micros, char direction, ReportView report) {
    const std::lock_guard lock(mutex_);
    if (!file_) return;
    appendReportLine(buffer_, micros, direction, report);
    if (buffer_.size() >= flushAt_) flushLocked();
}

std::string TraceFile::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

bool TraceFile::flush() {
    const std::lock_guard lock(mutex_);
    return flushLocked();
}

bool TraceFile::finish(const std::atomic<bool>& stop) {
    const std::lock_guard lock(mutex_);
    if (!file_) return false;
    const std::string error = writeAll(file_.get(), buffer_, &stop);
    buffer_.clear();
    if (!error.empty()) {
        error_ = error;
        file_.reset();
    }
    return static_cast<bool>(file_);
}

bool TraceFile::flushLocked() {
    if (!file_) return false;
    std::size_t done = 0;
    long long written = 0;
    errno = 0;
    while (done < buffer_.size() &&
           (written = writeAvailable(file_.get(), std::string_view(buffer_).substr(done))) > 0) {
        done += static_cast<std::size_t>(written);
    }
    buffer_.erase(0, done);
    if (written < 0 || buffer_.size() >= kMostWaiting) {
        error_ = written < 0 ? systemReason(errno) : "its reader takes nothing more";
        buffer_.clear();
        file_.reset();
        return false;
    }
    flushAt_ = buffer_.size() + kFlushAt;
    return true;
}

OpenedTrace openTrace(const std::string& utf8Path, const TraceHeader& header) {
    OpenedTrace result;
    if (utf8Path.empty()) {
        result.error = "no file name";
        return result;
    }
    errno = 0;
    FilePtr file = openForWriting(utf8Path);
    if (!file) {
        result.error = systemReason(errno);
        return result;
    }
    auto trace = std::make_shared<TraceFile>(std::move(file), utf8Path, header);
    if (!trace->flush()) {
        result.error = trace->error();
        return result;
    }
    result.trace = std::move(trace);
    return result;
}

} // namespace tarvane
