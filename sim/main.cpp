#include "firmware/HexFile.h"
#include "firmware/HexFileReader.h"
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

// Lays the file's records into the board's flash; false, with the reason
// said, for a file that fails its check.
bool preloadFile(tarvane::SimulatedBoard& board, const std::string& path) {
    const auto file = tarvane::loadHexFile(path);
    if (!file->check.ok) {
        std::cerr << "tarvane-sim: cannot load " << path << ": " << file->check.describe() << "\n";
        return false;
    }
    tarvane::HexFileReader reader;
    reader.open(file->bytes);
    reader.rewind();
    std::vector<std::uint8_t> record(tarvane::HexFileReader::destinationSize(tarvane::HexFileReader::kLineLimit));
    for (std::uint32_t line = 0; line < reader.linesTotal(); ++line) {
        const std::uint16_t n = reader.readRecord(record.data(), tarvane::HexFileReader::kLineLimit);
        if (n > 0) board.preload(record.data(), n);
    }
    return true;
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
        if (!options.loadPath.empty() && !preloadFile(*simulated, options.loadPath)) return 1;
    } else {
        if (!options.loadPath.empty()) {
            std::cerr << "tarvane-sim: --load and --replay exclude each other: a replayed board has no flash\n";
            return 2;
        }
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
