#include "report/ReportFile.h"
#include "sim/GadgetServer.h"
#include "sim/ReplayBoard.h"
#include "sim/SimCommandLine.h"
#include "sim/SimServer.h"
#include "sim/SimulatedBoard.h"

#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

// Without SA_RESTART a signal also cuts short the wait the server is in.
void installStopHandlers() {
    struct sigaction action{};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int serveOverTcp(tarvane::BoardModel& board, const tarvane::SimCommandLine& options) {
    std::string error;
    tarvane::Socket listener = tarvane::Socket::listenOn(options.host, options.port, error);
    if (!listener.valid()) {
        std::cerr << "tarvane-sim: " << error << "\n";
        return 1;
    }
    std::cout << "listening on " << options.host << ":" << listener.localPort() << std::endl;
    tarvane::serveBoard(board, listener, options.dumpPath, stopRequested, std::cerr);
    return 0;
}

int serveOnGadget(tarvane::BoardModel& board, const tarvane::SimCommandLine& options) {
    std::string error;
    const tarvane::UniqueFd device = tarvane::openGadgetDevice(options.gadgetPath, error);
    if (!device.valid()) {
        std::cerr << "tarvane-sim: " << error << "\n";
        return 1;
    }
    std::cout << "serving on " << options.gadgetPath << std::endl;
    tarvane::serveBoardOnGadget(board, device, options.dumpPath, stopRequested, std::cerr);
    return 0;
}

// The recorded board of --replay, from a trace or a support report; nothing,
// with the reason said, when the trace cannot be used.
std::unique_ptr<tarvane::ReplayBoard> replayBoard(const std::string& path) {
    const tarvane::TraceReading reading = tarvane::readTraceOrReport(path);
    if (!reading.ok()) {
        std::cerr << "tarvane-sim: cannot replay " << path << ": ";
        if (reading.errorLine > 0) std::cerr << "line " << reading.errorLine << ": ";
        std::cerr << reading.error << "\n";
        return nullptr;
    }
    return std::make_unique<tarvane::ReplayBoard>(tarvane::replayScript(reading.trace),
                                                  [](const std::string& note) { std::cerr << note << std::endl; });
}

} // namespace

int main(int argc, char** argv) {
    using namespace tarvane;

    SimCommandLine options;
    if (const auto status = parseSimCommandLine(argc, argv, options)) return *status;
    installStopHandlers();

    std::unique_ptr<SimulatedBoard> simulated;
    std::unique_ptr<ReplayBoard> replayed;
    if (options.replayPath.empty()) {
        simulated = std::make_unique<SimulatedBoard>(options.faults);
    } else {
        replayed = replayBoard(options.replayPath);
        if (!replayed) return 1;
    }
    BoardModel& board = simulated ? static_cast<BoardModel&>(*simulated) : *replayed;

    std::ofstream log;
    if (!options.logPath.empty()) {
        log.open(options.logPath, std::ios::app);
        if (!log) {
            std::cerr << "tarvane-sim: cannot open the log " << options.logPath << "\n";
            return 1;
        }
        const auto origin = simulated ? simulated->startTime() : SimulatedBoard::Clock::now();
        // Flushed per line so a test can read the log while the board runs.
        auto observer = [&log, origin](const SimRequest& request) {
            log << formatRequest(request, origin) << std::endl;
        };
        if (simulated) {
            simulated->setRequestObserver(observer);
        } else {
            replayed->setRequestObserver(observer);
        }
    }

    return options.gadgetPath.empty() ? serveOverTcp(board, options) : serveOnGadget(board, options);
}
