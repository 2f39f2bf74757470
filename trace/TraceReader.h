#pragma once

#include "usb/ReportPort.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvane {

struct TracedReport {
    std::int64_t micros = 0; // since the connection opened
    char direction = 0;      // kToBoard or kToHost
    std::array<std::uint8_t, kReportSize> bytes{};
};

struct TracedConnection {
    std::vector<TracedReport> reports;
    // The host lost the device after the first `lostAfter` reports.
    bool lost = false;
    std::size_t lostAfter = 0;
};

struct TraceContents {
    std::vector<std::string> header; // the `#` lines before the first connection
    std::vector<TracedConnection> connections;
};

// A trace read back; a malformed one gives the first bad line (1-based) and why.
struct TraceReading {
    TraceContents trace;
    std::size_t errorLine = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

TraceReading parseTrace(std::string_view text);
// The same from a file named in UTF-8; a file that cannot be read has errorLine 0.
TraceReading readTraceFile(const std::string& utf8Path);

} // namespace tarvane
