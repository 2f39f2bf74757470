#include "cli/BoardFiles.h"

#include "cli/OutputFiles.h"
#include "front/BoardTexts.h"
#include "report/SupportReport.h"
#include "res/ProgramLine.h"
#include "trace/TraceRecorder.h"
#include "trace/TracingPort.h"

#include <ostream>
#include <sstream>

namespace tarvane {
namespace {

const std::string kProgram = programLine("tarvane-update");

} // namespace

bool BoardFiles::open(const UpdateOptions& options, std::vector<BoardTarget>& targets, bool numbered,
                      const std::atomic<bool>& stop, std::ostream& err) {
    std::ostringstream openErrors;
    for (std::size_t i = 0; !options.trace.empty() && i < targets.size() && !stop.load(); ++i) {
        if (!traceBoard(options, targets[i], i, numbered, openErrors) && !stop.load()) {
            err << openErrors.str();
            return false;
        }
    }
    for (std::size_t i = 0; !options.report.empty() && i < targets.size() && !stop.load(); ++i) {
        if (!reportBoard(options, targets[i], i, numbered, openErrors) && !stop.load()) {
            err << openErrors.str();
            return false;
        }
    }
    return true;
}

bool BoardFiles::traceBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                            std::ostream& err) {
    const std::string path = numberedFileFor(options.trace, index, numbered);
    const TraceHeader header{kProgram, options.commandLine, target.address.toString()};
    OpenedTrace opened = openTrace(path, header);
    if (!opened.trace) {
        err << "error: cannot write the trace file " << path << ": " << opened.error << "\n";
        return false;
    }
    target.opener = tracedOpener(target.opener, opened.trace);
    traces_.push_back(std::move(opened.trace));
    return true;
}

bool BoardFiles::reportBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                             std::ostream& err) {
    Report report;
    report.path = numberedFileFor(options.report, index, numbered);
    OpenedReportFile opened = openReportFile(report.path);
    if (!opened.file) {
        err << "error: cannot write the report file " << report.path << ": " << opened.error << "\n";
        return false;
    }
    report.file = std::move(opened.file);
    report.recorder =
        std::make_shared<TraceRecorder>(TraceHeader{kProgram, options.commandLine, target.address.toString()});
    target.opener = tracedOpener(target.opener, report.recorder);
    reports_.push_back(std::move(report));
    return true;
}

void BoardFiles::finish(const UpdateOptions& options, const std::vector<std::unique_ptr<BoardRun>>& runs,
                        std::ostream& err, const std::atomic<bool>& stop) {
    for (const auto& trace : traces_) {
        if (!trace->finish(stop)) err << "error: the trace file " << trace->path() << " stops short: " << trace->error() << "\n";
    }
    for (std::size_t i = 0; i < reports_.size(); ++i) {
        BoardRun& run = *runs[i];
        Report& report = reports_[i];
        SupportReportFacts facts;
        facts.program = kProgram;
        facts.system = options.system;
        if (const BoardTexts* texts = boardTexts(options.board)) facts.board = texts->name;
        facts.device = run.address().toString();
        facts.hexPath = options.file;
        facts.hexFile = run.update().file();
        facts.log = run.output().logText();
        facts.trace = report.recorder->text();
        const std::string error = writeReportFile(std::move(report.file), supportReportText(facts), &stop);
        if (!error.empty()) err << "error: cannot write the report file " << report.path << ": " << error << "\n";
    }
}

} // namespace tarvane
