#include "cli/RunUpdate.h"

#include "front/BoardTexts.h"
#include "cli/JsonOutput.h"
#include "cli/ListDevices.h"
#include "cli/OutcomeWords.h"
#include "cli/OutputFiles.h"
#include "cli/PlainOutput.h"
#include "cli/WaitForDevice.h"
#include "report/ReportFile.h"
#include "report/SupportReport.h"
#include "res/version.h"
#include "trace/TraceRecorder.h"
#include "trace/TracingPort.h"
#include "usb/PortFactory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

namespace tarvane {
namespace {

// --all that finds nothing ends as a search that finds nothing.
int reportNoBoards(const std::string& detail, double seconds, bool json, std::ostream& out, std::ostream& err) {
    const UpdateProblem problem{UpdateProblem::Kind::DeviceNotFound, "Device not found", detail};
    if (json) {
        JsonOutput output(out);
        output.problem(problem);
        output.result(UpdateOutcome::DeviceNotFound, VerifyRange{}, seconds, 0);
    } else {
        PlainOutput(out, err, false).problem(problem);
    }
    return kExitNoDevice;
}

constexpr const char* kProgram = "tarvane-update " TARVANE_VERSION;

// Opens the trace of the board at `index` and wraps its opener; false, with
// the reason on `err`, when the file cannot be written.
bool traceBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                std::vector<std::shared_ptr<TraceFile>>& traces, std::ostream& err) {
    const std::string path = numberedFileFor(options.trace, index, numbered);
    const TraceHeader header{kProgram, options.commandLine, target.address.toString()};
    OpenedTrace opened = openTrace(path, header);
    if (!opened.trace) {
        err << "error: cannot write the trace file " << path << ": " << opened.error << "\n";
        return false;
    }
    target.opener = tracedOpener(target.opener, opened.trace);
    traces.push_back(std::move(opened.trace));
    return true;
}

// A board's support report: its file, opened before anything is sent, and
// the recorder of its connection.
struct BoardReport {
    std::string path;
    FilePtr file;
    std::shared_ptr<TraceRecorder> recorder;
};

// Opens the report of the board at `index` and records its opener; false,
// with the reason on `err`, when the file cannot be written.
bool reportBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                 std::vector<BoardReport>& reports, std::ostream& err) {
    BoardReport report;
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
    reports.push_back(std::move(report));
    return true;
}

void writeBoardReport(const UpdateOptions& options, const BoardRun& run, BoardReport& report, std::ostream& err,
                      const std::atomic<bool>& stop) {
    SupportReportFacts facts;
    facts.program = kProgram;
    facts.system = options.system;
    if (const BoardTexts* texts = boardTexts(options.board)) facts.board = texts->name;
    facts.device = run.address().toString();
    facts.hexPath = options.file;
    facts.hexFile = run.update().file();
    facts.log = run.logText();
    facts.trace = report.recorder->text();
    const std::string error = writeReportFile(std::move(report.file), supportReportText(facts), &stop);
    if (!error.empty()) err << "error: cannot write the report file " << report.path << ": " << error << "\n";
}

} // namespace

int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
              std::vector<BoardResult>* results) {
    const auto started = std::chrono::steady_clock::now();
    std::vector<BoardTarget> targets = options.boards;
    BoardJob job;
    job.board = options.board;
    job.file = options.file;
    job.verifyOnly = options.verifyOnly;
    job.waitSeconds = options.waitSeconds;
    job.loaded = loadHexFile(options.file);

    // The first board's outputs are known before any wait: refused at once.
    if (const std::string clash =
            outputFilesClash(options.file, options.trace, options.report, 1, options.all || targets.size() > 1);
        !clash.empty()) {
        err << "error: " << clash << "\n";
        return kExitUsage;
    }
    if (options.all) {
        if (options.waitSeconds > 0 && job.loaded->check.ok) {
            std::unique_ptr<TerminalOutput> waitOutput;
            if (options.json) {
                waitOutput = std::make_unique<JsonOutput>(out);
            } else {
                waitOutput = std::make_unique<PlainOutput>(out, err, false);
            }
            waitForDevice(DeviceAddress{}, options.waitSeconds, *waitOutput, &stop);
            job.loaded = reloadHexFile(job.loaded);
        }
        std::string detail;
        for (DeviceAddress& address : usbBootloaderAddresses(detail)) targets.push_back({address, openReportPort});
        if (targets.empty()) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            return reportNoBoards(detail, seconds, options.json, out, err);
        }
        job.waitSeconds = 0;
    }

    // Before anything is sent: a trace or a report that cannot be written is a
    // usage error. Several boards' numbered outputs are known only now.
    const bool numbered = options.all || targets.size() > 1;
    const std::string clash = outputFilesClash(options.file, options.trace, options.report, targets.size(), numbered);
    if (!clash.empty()) {
        err << "error: " << clash << "\n";
        return kExitUsage;
    }
    // Opening a pipe waits for its reader; a stop cuts that short, and the
    // boards then end interrupted, as they would from any other wait.
    std::ostringstream openErrors;
    std::vector<std::shared_ptr<TraceFile>> traces;
    for (std::size_t i = 0; !options.trace.empty() && i < targets.size() && !stop.load(); ++i) {
        if (!traceBoard(options, targets[i], i, numbered, traces, openErrors) && !stop.load()) {
            err << openErrors.str();
            return kExitUsage;
        }
    }
    std::vector<BoardReport> reports;
    for (std::size_t i = 0; !options.report.empty() && i < targets.size() && !stop.load(); ++i) {
        if (!reportBoard(options, targets[i], i, numbered, reports, openErrors) && !stop.load()) {
            err << openErrors.str();
            return kExitUsage;
        }
    }

    const bool several = targets.size() > 1;
    std::mutex shared;
    std::vector<std::unique_ptr<BoardRun>> runs;
    for (const BoardTarget& target : targets) {
        const std::string device = several ? target.address.toString() : std::string();
        std::unique_ptr<TerminalOutput> output;
        if (options.json) {
            output = std::make_unique<JsonOutput>(out, device, &shared);
        } else {
            // Bars of several boards would overwrite each other on one line.
            output = std::make_unique<PlainOutput>(out, err, options.progressBar && !several,
                                                   several ? "[" + device + "] " : std::string(), &shared);
        }
        runs.push_back(std::make_unique<BoardRun>(target, std::move(output)));
    }

    // A board stopped before it starts sees it itself, after its first lines.
    bool interrupted = stop.load();
    std::atomic<std::size_t> running{runs.size()};
    std::vector<std::thread> threads;
    for (auto& run : runs) {
        threads.emplace_back([&run, &job, &stop, &running] {
            run->run(job, stop);
            running.fetch_sub(1);
        });
    }
    // A signal handler can only set a flag; this thread carries it to every board.
    while (running.load() > 0) {
        if (!interrupted && stop.load()) {
            interrupted = true;
            for (auto& run : runs) run->interrupt();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (std::thread& t : threads) t.join();

    int status = kExitUpdated;
    for (auto& run : runs) {
        const UpdateOutcome outcome = run->outcome();
        const int boardStatus = outcomeWords(outcome).exitStatus;
        status = std::max(status, boardStatus);
        const bool updated = outcome == UpdateOutcome::Updated;
        run->output().result(outcome, run->update().verifyRange(), run->seconds(),
                             updated ? run->update().dataBytes() : 0);
        if (results) results->push_back({run->address().toString(), outcome, boardStatus, run->seconds()});
    }
    for (const auto& trace : traces) {
        if (!trace->finish(stop)) err << "error: the trace file " << trace->path() << " stops short: " << trace->error() << "\n";
    }
    for (std::size_t i = 0; i < reports.size(); ++i) writeBoardReport(options, *runs[i], reports[i], err, stop);
    if (several && !options.json) {
        for (auto& run : runs) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", run->seconds());
            out << '[' << run->address().toString() << "] " << outcomeWords(run->outcome()).summaryWords << ' ' << seconds
                << " s\n";
        }
        out << std::flush;
    }
    return status;
}

} // namespace tarvane
