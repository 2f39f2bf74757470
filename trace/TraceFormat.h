#pragma once

#include "usb/ReportPort.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvane {

// The text of a trace (docs/trace-format.md): `#` lines for the header and
// the connections, one line per report that crossed the link.
inline constexpr std::string_view kTraceFormatLine = "# tarvane-trace 1";
inline constexpr char kToBoard = '>';
inline constexpr char kToHost = '<';

// What the top of a trace says about the run that wrote it.
struct TraceHeader {
    std::string program;     // the program's name, a space, its version
    std::string commandLine; // as commandLineText gives it
    std::string device;      // the device address the user gave
};

// The format's line and the header's `# NAME: VALUE` lines.
void appendTraceHeader(std::string& out, const TraceHeader& header);

// "# connection N EVENT\n", EVENT being "opened", "closed" or "lost: WHY".
void appendConnectionLine(std::string& out, std::uint32_t connection, std::string_view event);

// "0.001234 > 01 02 ... 00\n": seconds since the connection opened with
// microseconds, the direction, the 64 bytes.
void appendReportLine(std::string& out, std::int64_t micros, char direction, ReportView report);

// The arguments as one line a shell would take back: arguments with spaces
// or quotes are quoted, line breaks are escaped so the header stays one line.
std::string commandLineText(int argc, const char* const* argv);

} // namespace tarvane
