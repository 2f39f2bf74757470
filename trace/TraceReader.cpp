#include "trace/TraceReader.h"

#include "firmware/FileOpen.h"
#include "trace/TraceFormat.h"

#include <charconv>

namespace tarvane {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "# connection N WORD..." -> N and the rest after N; false for other comments.
bool connectionLine(std::string_view line, std::uint32_t& n, std::string_view& rest) {
    constexpr std::string_view kPrefix = "# connection ";
    if (line.substr(0, kPrefix.size()) != kPrefix) return false;
    line.remove_prefix(kPrefix.size());
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), n);
    if (ec != std::errc{} || end == line.data()) return false;
    rest = line.substr(static_cast<std::size_t>(end - line.data()));
    return true;
}

// "S.UUUUUU" -> microseconds.
bool parseTime(std::string_view text, std::int64_t& micros) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || text.size() - dot - 1 != 6) return false;
    std::int64_t seconds = 0;
    std::int64_t fraction = 0;
    const auto whole = std::from_chars(text.data(), text.data() + dot, seconds);
    const auto part = std::from_chars(text.data() + dot + 1, text.data() + text.size(), fraction);
    if (whole.ec != std::errc{} || whole.ptr != text.data() + dot) return false;
    if (part.ec != std::errc{} || part.ptr != text.data() + text.size()) return false;
    if (seconds < 0 || seconds > 1000000000 || text[dot + 1] == '-' || text[dot + 1] == '+') return false;
    micros = seconds * 1000000 + fraction;
    return true;
}

// A report line; false with the reason.
bool parseReport(std::string_view line, TracedReport& report, std::string& why) {
    const auto space = line.find(' ');
    if (space == std::string_view::npos || !parseTime(line.substr(0, space), report.micros)) {
        why = "the line does not start with a time in seconds with six decimals";
        return false;
    }
    line.remove_prefix(space + 1);
    if (line.empty() || (line[0] != kToBoard && line[0] != kToHost)) {
        why = "the direction is neither > nor <";
        return false;
    }
    report.direction = line[0];
    line.remove_prefix(1);
    for (std::size_t i = 0; i < kReportSize; ++i) {
        if (line.size() < 3 || line[0] != ' ') {
            why = "the report has " + std::to_string(i) + " bytes, not 64";
            return false;
        }
        const int high = hexValue(line[1]);
        const int low = hexValue(line[2]);
        if (high < 0 || low < 0) {
            why = "byte " + std::to_string(i + 1) + " is not two hex digits";
            return false;
        }
        report.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        line.remove_prefix(3);
    }
    if (!line.empty()) {
        why = "more than 64 bytes in the report";
        return false;
    }
    return true;
}

struct Parser {
    TraceReading result;
    bool inConnection = false;
    std::size_t lineNumber = 0;

    bool fail(std::string why) {
        result.errorLine = lineNumber;
        result.error = std::move(why);
        return false;
    }

    bool connectionEvent(std::uint32_t n, std::string_view rest) {
        auto& connections = result.trace.connections;
        if (rest == " opened") {
            if (inConnection) return fail("connection " + std::to_string(n) + " opens before the last one closed");
            if (n != connections.size() + 1) {
                return fail("connection " + std::to_string(n) + " where " + std::to_string(connections.size() + 1) +
                            " comes next");
            }
            connections.emplace_back();
            inConnection = true;
            return true;
        }
        if (!inConnection || n != connections.size()) {
            return fail("connection " + std::to_string(n) + " is not the open connection");
        }
        if (rest == " closed") {
            inConnection = false;
            return true;
        }
        if (rest.substr(0, 6) == " lost:" || rest == " lost") {
            TracedConnection& c = connections.back();
            if (!c.lost) {
                c.lost = true;
                c.lostAfter = c.reports.size();
            }
            return true;
        }
        return fail("a connection line says neither opened, lost nor closed");
    }

    bool line(std::string_view text) {
        ++lineNumber;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (lineNumber == 1) {
            if (text != kTraceFormatLine) return fail("not a trace: the first line must be \"" +
                                                      std::string(kTraceFormatLine) + "\"");
            return true;
        }
        if (text.empty()) return true;
        if (text[0] == '#') {
            std::uint32_t n = 0;
            std::string_view rest;
            if (connectionLine(text, n, rest)) return connectionEvent(n, rest);
            if (result.trace.connections.empty()) result.trace.header.emplace_back(text);
            return true;
        }
        if (!inConnection) return fail("a report outside a connection");
        TracedReport report;
        std::string why;
        if (!parseReport(text, report, why)) return fail(why);
        auto& reports = result.trace.connections.back().reports;
        if (!reports.empty() && report.micros < reports.back().micros) return fail("the time goes backwards");
        reports.push_back(report);
        return true;
    }
};

} // namespace

TraceReading parseTrace(std::string_view text) {
    Parser parser;
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (!parser.line(text.substr(0, end))) return parser.result;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (parser.lineNumber == 0) parser.fail("the trace is empty");
    return parser.result;
}

TraceReading readTraceFile(const std::string& utf8Path) {
    std::string text;
    TraceReading failed;
    if (!readWholeFile(utf8Path, text, failed.error)) return failed;
    return parseTrace(text);
}

} // namespace tarvane
