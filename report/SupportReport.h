#pragma once

#include "firmware/HexFile.h"

#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvane {

// What a support report is made of; the window and the terminal tool each
// fill it from what they hold.
struct SupportReportFacts {
    std::string program; // the program's name, a space, its version
    std::string system;  // systemDescription()
    std::string board;   // "Display board"; empty when none was chosen
    std::string device;  // the device address
    std::string hexPath; // the HEX file chosen, in UTF-8; empty when none was
    std::string log;     // the log as the window holds it: each line ended by CR LF
    std::string trace;   // a trace's text, such as TraceRecorder::text()
    // The HEX file as the update read it, when it read hexPath; otherwise
    // the file is read for the report.
    std::shared_ptr<const HexFile> hexFile;
};

// The first line of every report.
inline constexpr std::string_view kReportTitle = "Tarvane support report";
// The heading of the last section, the trace, which runs to the end.
inline constexpr std::string_view kReportTraceHeading = "[Trace]";

// One text file with `\n` line ends: the title, then a section per heading
// ([Program], [System], [Board], [HEX file], [Log], [Trace]) each followed by
// an empty line. The HEX file's section gives its name, size, SHA-256 and
// what --inspect calls its verification range and CRC, or why it has none,
// all from the bytes the update read;
// the log's, its lines as the window shows them; the trace's, the trace as is.
std::string supportReportText(const SupportReportFacts& facts);

// "tarvane-report-YYYYMMDD-HHMMSS.txt" for that local time.
std::string supportReportFileName(const std::tm& localTime);

// The trace a report carries, and how many lines of the report come before
// it; nothing when `text` is not a report.
struct ReportTrace {
    std::string_view text;
    std::size_t linesBefore = 0;
};
std::optional<ReportTrace> reportTrace(std::string_view text);

} // namespace tarvane
