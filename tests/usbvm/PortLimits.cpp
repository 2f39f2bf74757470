// How long the USB port and the link take to give up on a board that stays on
// the bus but stops taking output reports. Built for Linux and Windows, run
// by the kernel USB scenarios against two plugged-in boards:
//   tarvane-port-limits DEAF STALLED FILE
// DEAF takes no report at all; STALLED stops reading after some requests.
// Prints "write S" (the longest single report write) and "stop S" (stopping
// the link while its worker writes), in seconds; exit 0 unless a step failed.
#include "link/BootloaderLink.h"
#include "firmware/HexFile.h"
#include "link/Protocol.h"
#include "usb/PortFactory.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace tarvane;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

int fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return fail("usage: tarvane-port-limits DEAF STALLED FILE");

    std::string detail;
    const auto deaf = parseDeviceAddress(argv[1], detail);
    if (!deaf) return fail(detail);
    auto port = openReportPort(*deaf, kBootloaderVendorId, kBootloaderProductId, detail);
    if (!port) return fail("cannot open " + std::string(argv[1]) + ": " + detail);
    // The first writes may fill buffers on the way; the kernel then holds one.
    std::array<std::uint8_t, kReportSize> report{};
    double longest = 0;
    int failed = 0;
    for (int i = 0; i < 12 && failed < 2; ++i) {
        const auto t = Clock::now();
        failed += port->writeReport(report) ? 0 : 1;
        longest = std::max(longest, secondsSince(t));
    }
    port.reset();
    if (failed < 2) return fail("writes to a board that reads nothing never failed");
    std::printf("write %.2f\n", longest);
    std::fflush(stdout);

    BootloaderLink link;
    const std::string error = useDeviceAddress(link, argv[2]);
    if (!error.empty()) return fail(error);
    if (!link.findDevice(kBootloaderVendorId, kBootloaderProductId)) return fail(link.deviceDetail());
    link.setNotifier([](LinkMessage) {});
    const auto hex = loadHexFile(argv[3]);
    if (!hex->check.ok) return fail(std::string(argv[3]) + ": " + hex->check.describe());
    link.useFile(hex->bytes);
    link.startWorker();
    if (!link.sendRequest(CMD_PROGRAM, 3, 1000)) return fail("no program request");
    // Until the board has stopped taking batches: no progress for 2 s (a
    // fixed wait was too short for Wine on a busy host).
    std::uint32_t consumed = 0;
    auto moved = Clock::now();
    for (const auto begun = moved; secondsSince(begun) < 60 && secondsSince(moved) < 2;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (const std::uint32_t now = link.progress().linesConsumed; now != consumed) {
            consumed = now;
            moved = Clock::now();
        }
    }
    const auto t = Clock::now();
    link.stopWorker();
    const double stopped = secondsSince(t);
    link.closeDevice();
    std::printf("stop %.2f\n", stopped);
    return 0;
}
