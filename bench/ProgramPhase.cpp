#include "bench/ProgramPhase.h"

#include "firmware/HexFile.h"
#include "link/BootloaderLink.h"
#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace tarvane {

double programPhaseSeconds(const std::string& file, const std::vector<std::uint8_t>& expected, bool usbTiming,
                           const std::function<PortOpener(PortOpener)>& wrap) {
    using Clock = std::chrono::steady_clock;
    SimFaults faults;
    faults.usbTiming = usbTiming;
    auto board = std::make_shared<SimulatedBoard>(faults);
    PortOpener opener = [board](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return openSimReportPort(board, SimWaits::Exact);
    };
    BootloaderLink link;
    link.useDevice(DeviceAddress{}, wrap ? wrap(std::move(opener)) : std::move(opener));
    if (!link.useFile(loadHexFile(file)->bytes) || !link.findDevice(kBootloaderVendorId, kBootloaderProductId)) return 0;

    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool complete = false;
    link.setNotifier([&](LinkMessage m) {
        std::lock_guard lock(mutex);
        done = true;
        complete = m.kind == LinkMessage::Kind::Response && m.command == CMD_PROGRAM;
        cv.notify_all();
    });
    link.startWorker();
    const auto t0 = Clock::now();
    link.sendRequest(CMD_PROGRAM, 3, 1000);
    std::unique_lock lock(mutex);
    cv.wait_for(lock, std::chrono::minutes(2), [&] { return done; });
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    lock.unlock();
    link.stopWorker();
    link.closeDevice();

    const auto flash = board->flash();
    if (!complete || !std::equal(expected.begin(), expected.end(), flash.begin())) {
        std::printf("  the board's flash does not hold the image\n");
        return 0;
    }
    return seconds;
}

void askForPreciseSleeps() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

} // namespace tarvane
