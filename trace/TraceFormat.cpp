#include "trace/TraceFormat.h"

#include <array>

namespace tarvane {
namespace {

void appendHeaderLine(std::string& out, std::string_view name, const std::string& value) {
    out += "# ";
    out += name;
    out += ": ";
    // One line each, whatever the value holds.
    for (const char c : value) out += (c == '\n' || c == '\r') ? ' ' : c;
    out += '\n';
}

} // namespace

void appendTraceHeader(std::string& out, const TraceHeader& header) {
    out += kTraceFormatLine;
    out += '\n';
    appendHeaderLine(out, "program", header.program);
    appendHeaderLine(out, "command", header.commandLine);
    appendHeaderLine(out, "device", header.device);
}

void appendConnectionLine(std::string& out, std::uint32_t connection, std::string_view event) {
    out += "# connection ";
    out += std::to_string(connection);
    out += ' ';
    out += event;
    out += '\n';
}

void appendReportLine(std::string& out, std::int64_t micros, char direction, ReportView report) {
    static constexpr char kDigits[] = "0123456789abcdef";
    if (micros < 0) micros = 0;
    // By hand rather than printf: this runs on the worker for every report.
    std::array<char, 24> number{};
    std::size_t n = 0;
    std::int64_t value = micros;
    for (int digit = 0; digit < 7 || value > 0; ++digit) {
        if (digit == 6) number[n++] = '.';
        number[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    for (std::size_t i = n; i > 0; --i) out += number[i - 1];
    out += ' ';
    out += direction;
    for (const std::uint8_t byte : report) {
        out += ' ';
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    out += '\n';
}

std::string commandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (i > 0) text += ' ';
        const bool plain = !arg.empty() && arg.find_first_of(" \t\"'\\\r\n") == std::string_view::npos;
        if (plain) {
            text += arg;
            continue;
        }
        text += '"';
        for (const char c : arg) {
            if (c == '\n') {
                text += "\\n";
            } else if (c == '\r') {
                text += "\\r";
            } else {
                if (c == '"' || c == '\\') text += '\\';
                text += c;
            }
        }
        text += '"';
    }
    return text;
}

} // namespace tarvane
