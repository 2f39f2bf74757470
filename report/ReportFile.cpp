#include "report/ReportFile.h"

#include "report/SupportReport.h"
#include "system/OutputWrite.h"

#include <cerrno>
#include <cstring>

namespace tarvane {
namespace {

std::string systemReason(std::string_view fallback) {
    return errno != 0 ? std::strerror(errno) : std::string(fallback);
}

} // namespace

OpenedReportFile openReportFile(const std::string& utf8Path) {
    OpenedReportFile opened;
    if (utf8Path.empty()) {
        opened.error = "no file name";
        return opened;
    }
    errno = 0;
    opened.file = openForWriting(utf8Path);
    if (!opened.file) opened.error = systemReason("the file cannot be created");
    return opened;
}

std::string writeReportFile(FilePtr file, std::string_view text, const std::atomic<bool>* stop) {
    if (!file) return "the file is not open";
    if (stop) makeWritesNonBlocking(file.get());
    const std::string reason = writeAll(file.get(), text, stop);
    const bool written = reason.empty();
    // A close can fail too, where a network share writes late.
    errno = 0;
    if (std::fclose(file.release()) != 0 && written) return systemReason("the file cannot be closed");
    return reason;
}

std::string saveReportFile(const std::string& utf8Path, std::string_view text) {
    OpenedReportFile opened = openReportFile(utf8Path);
    if (!opened.file) return opened.error;
    return writeReportFile(std::move(opened.file), text);
}

TraceReading readTraceOrReport(const std::string& utf8Path) {
    std::string text;
    TraceReading failed;
    if (!readWholeFile(utf8Path, text, failed.error)) return failed;
    const std::optional<ReportTrace> carried = reportTrace(text);
    if (!carried) return parseTrace(text);
    TraceReading reading = parseTrace(carried->text);
    if (reading.errorLine > 0) reading.errorLine += carried->linesBefore;
    return reading;
}

} // namespace tarvane
