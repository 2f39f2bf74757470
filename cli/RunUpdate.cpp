#include "cli/RunUpdate.h"

#include "cli/BoardFiles.h"
#include "cli/BoardRun.h"
#include "cli/ExitStatus.h"
#include "cli/ListDevices.h"
#include "cli/OutcomeWords.h"
#include "cli/OutputFiles.h"
#include "cli/WaitForDevice.h"
#include "usb/PortFactory.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

namespace tarvane {
namespace {

using Clock = std::chrono::steady_clock;

// A signal handler can only set the stop flag: until it is set, the wait for
// the boards looks at it this often.
constexpr auto kStopCheck = std::chrono::milliseconds(20);

// One command's boards, set up before any of them is reached.
struct Boards {
    std::shared_ptr<const HexFile> file;
    std::vector<BoardTarget> targets;
    BoardFiles files;
    // Keeps the lines of several boards whole on the same streams.
    std::mutex outputLock;
    std::vector<std::unique_ptr<BoardRun>> runs;
};

// --all that finds nothing ends as a search that finds nothing.
int reportNoBoards(const UpdateOptions& options, const std::string& detail, double seconds, std::ostream& out,
                   std::ostream& err) {
    const std::unique_ptr<TerminalOutput> output = makeTerminalOutput(options, out, err);
    output->problem({UpdateProblem::Kind::DeviceNotFound, "Device not found", detail});
    output->result(UpdateOutcome::DeviceNotFound, VerifyRange{}, seconds, 0);
    return kExitNoDevice;
}

// Reads the file, finds the boards of --all, opens their traces and reports
// and makes each board's run. Returns an exit status when the command ends
// before any board is reached.
std::optional<int> prepare(const UpdateOptions& options, Boards& boards, std::ostream& out, std::ostream& err,
                           const std::atomic<bool>& stop) {
    const auto started = Clock::now();
    boards.targets = options.boards;
    boards.file = loadHexFile(options.file);

    // The first board's outputs are known before any wait: refused at once.
    if (const std::string clash = outputFilesClash(options.file, options.trace, options.report, 1,
                                                   options.all || boards.targets.size() > 1);
        !clash.empty()) {
        err << "error: " << clash << "\n";
        return kExitUsage;
    }
    if (options.all) {
        if (options.waitSeconds > 0 && boards.file->check.ok) {
            waitForDevice(DeviceAddress{}, options.waitSeconds, *makeTerminalOutput(options, out, err), &stop);
            boards.file = reloadHexFile(boards.file);
        }
        std::string detail;
        for (DeviceAddress& address : usbBootloaderAddresses(detail)) boards.targets.push_back({address, openReportPort});
        if (boards.targets.empty()) {
            return reportNoBoards(options, detail, std::chrono::duration<double>(Clock::now() - started).count(), out,
                                  err);
        }
    }

    // Before anything is sent: a trace or a report that cannot be written is a
    // usage error. Several boards' numbered outputs are known only now.
    const bool numbered = options.all || boards.targets.size() > 1;
    if (const std::string clash =
            outputFilesClash(options.file, options.trace, options.report, boards.targets.size(), numbered);
        !clash.empty()) {
        err << "error: " << clash << "\n";
        return kExitUsage;
    }
    if (!boards.files.open(options, boards.targets, numbered, stop, err)) return kExitUsage;

    const bool several = boards.targets.size() > 1;
    for (const BoardTarget& target : boards.targets) {
        const std::string device = several ? target.address.toString() : std::string();
        boards.runs.push_back(
            std::make_unique<BoardRun>(target, makeTerminalOutput(options, out, err, device, &boards.outputLock)));
    }
    return std::nullopt;
}

// Runs every board on a thread of its own and returns once all have ended,
// carrying a stop to each of them.
void run(const UpdateOptions& options, Boards& boards, const std::atomic<bool>& stop) {
    std::mutex mutex;
    std::condition_variable boardEnded;
    std::size_t running = boards.runs.size();
    // A board stopped before it starts sees it itself, after its first lines.
    bool interrupted = stop.load();
    {
        std::vector<std::jthread> threads;
        for (const auto& board : boards.runs) {
            threads.emplace_back([&, board = board.get()] {
                board->run(options, boards.file, stop);
                {
                    std::lock_guard lock(mutex);
                    --running;
                }
                boardEnded.notify_one();
            });
        }
        std::unique_lock lock(mutex);
        while (!interrupted) {
            boardEnded.wait_for(lock, kStopCheck, [&] { return running == 0 || stop.load(); });
            if (running == 0) break;
            if (stop.load()) {
                interrupted = true;
                for (const auto& board : boards.runs) board->interrupt();
            }
        }
        boardEnded.wait(lock, [&] { return running == 0; });
    }
}

// Prints each board's result, ends the traces and writes the reports, then,
// with several boards, a summary line for each. Returns the exit status.
int summarise(const UpdateOptions& options, Boards& boards, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop) {
    int status = kExitUpdated;
    for (const auto& board : boards.runs) {
        const UpdateOutcome outcome = board->outcome();
        status = std::max<int>(status, outcomeWords(outcome).exitStatus);
        const bool updated = outcome == UpdateOutcome::Updated;
        board->output().result(outcome, board->update().verifyRange(), board->seconds(),
                               updated ? board->update().dataBytes() : 0);
    }
    boards.files.finish(options, boards.runs, err, stop);
    if (boards.runs.size() > 1 && !options.json) {
        for (const auto& board : boards.runs) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", board->seconds());
            out << '[' << board->address().toString() << "] " << outcomeWords(board->outcome()).summaryWords << ' '
                << seconds << " s\n";
        }
        out << std::flush;
    }
    return status;
}

} // namespace

int runUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    Boards boards;
    if (const auto status = prepare(options, boards, out, err, stop)) return *status;
    run(options, boards, stop);
    return summarise(options, boards, out, err, stop);
}

} // namespace tarvane
