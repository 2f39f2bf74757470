#pragma once

#include "firmware/FileOpen.h"
#include "trace/TraceReader.h"

#include <atomic>
#include <string>
#include <string_view>

namespace tarvane {

// A report file created (or emptied) before the update it reports, so that
// one that cannot be written is known before any traffic.
struct OpenedReportFile {
    FilePtr file;
    std::string error; // the system's reason when `file` is empty
};
OpenedReportFile openReportFile(const std::string& utf8Path);

// Writes the report and closes the file; empty when it is written, else the
// system's reason. With `stop`, a reader who stops reading holds the write
// up only until `stop` is set, and half a second more.
std::string writeReportFile(FilePtr file, std::string_view text, const std::atomic<bool>* stop = nullptr);

// Both at once, as the window's Save does.
std::string saveReportFile(const std::string& utf8Path, std::string_view text);

// The trace of a trace file, or the one a report carries; a fault's line
// counts from the top of the file either way.
TraceReading readTraceOrReport(const std::string& utf8Path);

} // namespace tarvane
