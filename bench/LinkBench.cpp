// Streams a 512 KiB image through the link's worker to the in-process
// simulated board, once answering at once and once with the full-speed USB
// timing model, and compares the program phase with the protocol's bound.
#include "link/BootloaderLink.h"
#include "link/RequestBuilder.h"
#include "sim/BoardTiming.h"
#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/HexGen.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace {

using namespace tarvane;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kImageBytes = 512 * 1024;

// Per batch: its reports out at one per millisecond, the answer's report in,
// and the board's programming time for the words the batch touches.
double boundSeconds(const std::string& file) {
    HexFileReader reader;
    if (!reader.open(file)) return 0;
    RequestBuilder builder;
    double seconds = 0;
    for (bool ok = builder.buildProgramBatch(reader, true); ok; ok = builder.buildProgramBatch(reader, false)) {
        const auto frame = builder.frame();
        const std::size_t reports = (frame.size() + kReportSize - 1) / kReportSize;
        std::size_t words = 0;
        FrameDecoder<1000> d;
        d.decodeBytes(frame.data(), frame.size());
        const std::uint8_t* p = d.payload();
        for (std::size_t pos = 1; pos + kRecordOverhead <= d.payloadLength(); pos += kRecordOverhead + p[pos]) {
            if (p[pos + kRecordType] != kTypeData || p[pos] == 0) continue;
            const std::uint32_t offset = static_cast<std::uint32_t>(p[pos + 1] << 8 | p[pos + 2]);
            words += (offset + p[pos] - 1) / 4 - offset / 4 + 1;
        }
        seconds += std::chrono::duration<double>(kReportInterval * static_cast<long>(reports + 1) +
                                                 kWordProgramTime * static_cast<long>(words))
                       .count();
    }
    return seconds;
}

// Seconds from the first program request to "programming complete"; 0 on failure.
double streamOnce(const std::string& file, bool usbTiming, const std::vector<std::uint8_t>& expected) {
    SimFaults faults;
    faults.usbTiming = usbTiming;
    auto board = std::make_shared<SimulatedBoard>(faults);
    BootloaderLink link;
    link.useDevice(DeviceAddress{}, [board](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return openSimReportPort(board);
    });
    if (!link.openFile(file) || !link.findDevice(kBootloaderVendorId, kBootloaderProductId)) return 0;

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

    const auto flash = board->flash();
    if (!complete || !std::equal(expected.begin(), expected.end(), flash.begin())) {
        std::printf("  the board's flash does not hold the image\n");
        return 0;
    }
    return seconds;
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "tarvane-bench-link";
    std::filesystem::create_directories(dir);
    const auto data = test::patternBytes(kImageBytes, 512);
    const auto hex = test::generateHex({{0x1D000000, data}});
    const std::string file = (dir / "image-512k.hex").string();
    std::ofstream(file, std::ios::binary) << hex.text;

    const double bound = boundSeconds(file);
    const double kb = kImageBytes / 1024.0;
    std::printf("program phase, 512 KiB in 16-byte records (%u records, batches of 11)\n", hex.expected.records);
    std::printf("  protocol bound with USB timing: %.3f s (%.1f KiB/s)\n", bound, kb / bound);

    const double fast = streamOnce(file, false, data);
    if (fast > 0) std::printf("  no added latency:   %.3f s  %.1f KiB/s\n", fast, kb / fast);
    const double usb = streamOnce(file, true, data);
    if (usb > 0) {
        std::printf("  USB timing model:   %.3f s  %.1f KiB/s  = %.1f %% of the bound\n", usb, kb / usb,
                    100.0 * bound / usb);
    }
    std::filesystem::remove_all(dir);
    return fast > 0 && usb > 0 ? 0 : 1;
}
