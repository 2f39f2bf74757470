#include "report/SupportReport.h"

#include "firmware/Utf8Path.h"
#include "report/Sha256.h"

#include <algorithm>
#include <cstdio>

namespace tarvane {
namespace {

void appendHeading(std::string& out, std::string_view heading) {
    out += '\n';
    out += heading;
    out += '\n';
}

void appendHexFile(std::string& out, const SupportReportFacts& facts) {
    if (facts.hexPath.empty()) {
        out += "name: none chosen\n";
        return;
    }
    out += "name: " + utf8FromPath(pathFromUtf8(facts.hexPath).filename()) + "\n";
    const std::shared_ptr<const HexFile> file =
        facts.hexFile && facts.hexFile->path == facts.hexPath ? facts.hexFile : loadHexFile(facts.hexPath);
    if (!file->readError.empty()) {
        out += "size: " + file->readError + "\n";
        // Nothing more can be said of a file that could not be read.
        if (file->check.unreadable) return;
    } else {
        out += "size: " + std::to_string(file->bytes->size()) + " bytes\n";
        Sha256 digest;
        digest.update(*file->bytes);
        out += "sha-256: " + hexDigest(digest.finish()) + "\n";
    }
    if (!file->check.ok) {
        out += "check: " + file->check.describe() + "\n";
        return;
    }
    out += rangeLines(file->check.range);
}

// The log's lines, each ended as the report's lines are.
void appendLog(std::string& out, std::string_view log) {
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        std::string_view line = log.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out += line;
        out += '\n';
        if (end == std::string_view::npos) break;
        log.remove_prefix(end + 1);
    }
}

} // namespace

std::string supportReportText(const SupportReportFacts& facts) {
    std::string out(kReportTitle);
    out += '\n';
    appendHeading(out, "[Program]");
    out += facts.program + "\n";
    appendHeading(out, "[System]");
    out += facts.system + "\n";
    appendHeading(out, "[Board]");
    out += "board: " + (facts.board.empty() ? std::string("none chosen") : facts.board) + "\n";
    out += "device: " + facts.device + "\n";
    appendHeading(out, "[HEX file]");
    appendHexFile(out, facts);
    appendHeading(out, "[Log]");
    appendLog(out, facts.log);
    appendHeading(out, kReportTraceHeading);
    out += facts.trace;
    if (!facts.trace.empty() && facts.trace.back() != '\n') out += '\n';
    return out;
}

std::string supportReportFileName(const std::tm& localTime) {
    char name[64];
    std::snprintf(name, sizeof name, "tarvane-report-%04d%02d%02d-%02d%02d%02d.txt", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return name;
}

std::optional<ReportTrace> reportTrace(std::string_view text) {
    std::optional<ReportTrace> found;
    std::size_t lineNumber = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;
        if (lineNumber == 1 && line != kReportTitle) return std::nullopt;
        // The last such heading is the section's: a log line reading the same comes before it.
        if (line == kReportTraceHeading) found = ReportTrace{text.substr(std::min(end + 1, text.size())), lineNumber};
        at = end + 1;
    }
    return found;
}

} // namespace tarvane
