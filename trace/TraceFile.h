#pragma once

#include "firmware/FileOpen.h"
#include "trace/TraceFormat.h"
#include "trace/TraceSink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace tarvane {

// One trace file, shared by every connection of a run. Reports come from the
// worker thread, connections open and close on the UI thread: all of it is
// buffered under one lock and written in large pieces, at each connection's
// close and when the last owner lets go. A write that fails stops the trace
// (error() says why); the update goes on untouched. A reader who stops
// reading holds up nothing: what it does not take waits in the buffer.
class TraceFile final : public TraceSink {
public:
    // Puts the header in the buffer; flush() writes it.
    TraceFile(FilePtr file, std::string path, const TraceHeader& header);
    ~TraceFile() override;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    std::uint32_t openConnection() override;
    // Then everything buffered goes to the file.
    void closeConnection(std::uint32_t connection) override;
    void connectionLost(std::uint32_t connection, std::string_view why) override;
    void report(std::int64_t micros, char direction, ReportView report) override;

    const std::string& path() const { return path_; }
    // Why the trace stopped short; empty while it is whole.
    std::string error() const;

    // Writes out what the file takes now; false once tracing has stopped.
    bool flush();
    // Writes out the whole buffer, waiting for the reader; once `stop` is set
    // a reader that takes nothing for half a second stops the trace. False when
    // the trace stops short.
    bool finish(const std::atomic<bool>& stop);

private:
    bool flushLocked();

    const std::string path_;
    mutable std::mutex mutex_;
    FilePtr file_;
    std::string buffer_;
    // While the reader takes nothing, the next try waits for this much.
    std::size_t flushAt_;
    std::string error_;
    std::uint32_t connections_ = 0;
};

// A trace file created (or emptied) at `utf8Path`, its header already on
// disk, so a file that cannot be written is known before any traffic.
struct OpenedTrace {
    std::shared_ptr<TraceFile> trace;
    std::string error; // the system's reason when `trace` is empty
};
OpenedTrace openTrace(const std::string& utf8Path, const TraceHeader& header);

} // namespace tarvane
