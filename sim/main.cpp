#include "sim/GadgetServer.h"
#include "sim/SimCommandLine.h"
#include "sim/SimServer.h"
#include "sim/SimulatedBoard.h"

#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>

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

int serveOverTcp(tarvane::SimulatedBoard& board, const tarvane::SimCommandLine& options) {
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

int serveOnGadget(tarvane::SimulatedBoard& board, const tarvane::SimCommandLine& options) {
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

} // namespace

int main(int argc, char** argv) {
    using namespace tarvane;

    SimCommandLine options;
    if (const auto status = parseSimCommandLine(argc, argv, options)) return *status;
    installStopHandlers();

    SimulatedBoard board(options.faults);
    std::ofstream log;
    if (!options.logPath.empty()) {
        log.open(options.logPath, std::ios::app);
        if (!log) {
            std::cerr << "tarvane-sim: cannot open the log " << options.logPath << "\n";
            return 1;
        }
        const auto origin = board.startTime();
        // Flushed per line so a test can read the log while the board runs.
        board.setRequestObserver([&log, origin](const SimRequest& request) {
            log << formatRequest(request, origin) << std::endl;
        });
    }

    return options.gadgetPath.empty() ? serveOverTcp(board, options) : serveOnGadget(board, options);
}
