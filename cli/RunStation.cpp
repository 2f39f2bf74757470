#include "cli/RunStation.h"

#include "cli/BoardFiles.h"
#include "cli/BoardRun.h"
#include "cli/ExitStatus.h"
#include "cli/OutcomeWords.h"
#include "cli/StationReports.h"
#include "cli/StationWatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

namespace tarvane {
namespace {

// How often the station looks for boards that came or went.
constexpr auto kLookInterval = std::chrono::milliseconds(200);

// One board being updated, on its own thread.
struct StationBoard {
    std::string key;
    UpdateOptions options;
    BoardFiles files;
    std::unique_ptr<BoardRun> run;
    std::atomic<bool> ended{false};
    std::jthread thread;
};

struct Tally {
    int updated = 0;
    int current = 0;
    int failed = 0;
    int ended() const { return updated + current + failed; }
};

void printTally(const UpdateOptions& options, const Tally& tally, std::ostream& out) {
    if (options.json) {
        out << R"({"type":"tally","updated":)" << tally.updated << R"(,"current":)" << tally.current
            << R"(,"failed":)" << tally.failed << "}\n";
    } else {
        out << "updated " << tally.updated << ", already current " << tally.current << ", failed " << tally.failed
            << "\n";
    }
    out << std::flush;
}

} // namespace

int runStation(const UpdateOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
               const std::atomic<bool>& interrupt) {
    std::mutex outputLock;
    const std::shared_ptr<const HexFile> file = loadHexFile(options.file);
    if (!file->check.ok) {
        // The usual run says why, without reaching any board.
        BoardRun run(BoardTarget{}, makeTerminalOutput(options, out, err));
        run.run(options, file, stop);
        run.output().result(run.outcome(), VerifyRange{}, run.seconds(), 0);
        return outcomeWords(run.outcome()).exitStatus;
    }
    if (!options.reportDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.reportDir, ec);
        if (!std::filesystem::is_directory(options.reportDir, ec)) {
            err << "error: cannot make the report folder " << options.reportDir << "\n";
            return kExitUsage;
        }
    }

    const StationWatch watch(options.boards);
    std::list<StationBoard> running;
    // Boards that ended and are still plugged in: not touched again until they went away.
    std::vector<std::string> done;
    bool interrupted = false;
    // The last board's tally is the final one; without it a stop prints one.
    bool tallyIsLast = false;
    Tally tally;
    int status = kExitUpdated;
    const auto countReached = [&] { return options.count > 0 && tally.ended() >= options.count; };

    while (true) {
        // Boards that ended: result, summary, report and tally.
        for (auto it = running.begin(); it != running.end();) {
            if (!it->ended.load()) {
                ++it;
                continue;
            }
            it->thread.join();
            BoardRun& board = *it->run;
            const UpdateOutcome outcome = board.outcome();
            const OutcomeWords& words = outcomeWords(outcome);
            status = std::max<int>(status, words.exitStatus);
            const bool good = words.exitStatus == kExitUpdated;
            // The board's output takes the shared lock itself.
            board.output().result(outcome, board.update().verifyRange(), board.seconds(),
                                  outcome == UpdateOutcome::Updated ? board.update().dataBytes() : 0);
            std::vector<std::unique_ptr<BoardRun>> runs;
            runs.push_back(std::move(it->run));
            it->files.finish(it->options, runs, err, interrupt);
            if (good && !it->options.report.empty()) {
                std::error_code ec;
                std::filesystem::remove(it->options.report, ec);
            }
            if (outcome == UpdateOutcome::Updated) {
                ++tally.updated;
            } else if (outcome == UpdateOutcome::Current) {
                ++tally.current;
            } else {
                ++tally.failed;
            }
            {
                std::lock_guard lock(outputLock);
                if (!options.json) {
                    char seconds[32];
                    std::snprintf(seconds, sizeof seconds, "%.1f", runs.front()->seconds());
                    out << '[' << it->key << "] " << words.summaryWords << ' ' << seconds << " s\n";
                }
                printTally(options, tally, out);
            }
            tallyIsLast = running.size() == 1;
            done.push_back(it->key);
            it = running.erase(it);
        }
        if (stop.load() || countReached()) {
            if (running.empty()) break;
            if (interrupt.load() && !interrupted) {
                interrupted = true;
                for (StationBoard& board : running) board.run->interrupt();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }

        std::vector<std::string> busy;
        for (const StationBoard& board : running) busy.push_back(board.key);
        const std::vector<BoardTarget> present = watch.present(busy);
        // A board that went away may be updated again when it comes back.
        std::erase_if(done, [&](const std::string& key) {
            return std::none_of(present.begin(), present.end(),
                                [&](const BoardTarget& t) { return t.address.toString() == key; });
        });
        for (const BoardTarget& target : present) {
            const std::string key = target.address.toString();
            if (std::find(busy.begin(), busy.end(), key) != busy.end() ||
                std::find(done.begin(), done.end(), key) != done.end()) {
                continue;
            }
            // --count counts boards that ended; those under way may end it too.
            if (options.count > 0 && tally.ended() + static_cast<int>(running.size()) >= options.count) break;
            tallyIsLast = false;
            StationBoard& board = running.emplace_back();
            board.key = key;
            board.options = options;
            board.options.waitSeconds = 0;
            if (!options.reportDir.empty()) {
                board.options.report =
                    stationReportPath(options.reportDir, target.address, std::chrono::system_clock::now());
            }
            std::vector<BoardTarget> targets{target};
            if (!board.files.open(board.options, targets, false, interrupt, err)) {
                board.options.report.clear();
                targets = {target};
            }
            board.run = std::make_unique<BoardRun>(targets.front(),
                                                   makeTerminalOutput(options, out, err, key, &outputLock));
            board.thread = std::jthread([&board, file, &interrupt] {
                board.run->run(board.options, file, interrupt);
                board.ended.store(true);
            });
        }
        std::this_thread::sleep_for(kLookInterval);
    }
    // The tally after the last board's end says it all, unless a stop came.
    if (!tallyIsLast) {
        std::lock_guard lock(outputLock);
        printTally(options, tally, out);
    }
    return status;
}

} // namespace tarvane
