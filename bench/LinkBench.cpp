// Streams a 512 KiB image through the link's worker to the in-process
// simulated board, once answering at once and once with the full-speed USB
// timing model, and compares the program phase with the protocol's bound;
// then measures the CPU an idle connected worker takes. Each figure is the
// better of two rounds.
#include "bench/ProgramPhase.h"
#include "firmware/HexFile.h"
#include "link/BootloaderLink.h"
#include "link/RequestBuilder.h"
#include "sim/BoardTiming.h"
#include "sim/SimReportPort.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/HexGen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace tarvane;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kImageBytes = 512 * 1024;
constexpr int kRounds = 2;

void useSimBoard(BootloaderLink& link, std::shared_ptr<SimulatedBoard> board) {
    link.useDevice(DeviceAddress{}, [board](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) {
        return openSimReportPort(board);
    });
}

// Per batch: its reports out at one per millisecond, the answer's report in,
// and the board's programming time for the words the batch touches.
double boundSeconds(const std::string& file) {
    HexFileReader reader;
    if (!reader.open(loadHexFile(file)->bytes)) return 0;
    RequestBuilder builder;
    double seconds = 0;
    for (bool ok = builder.buildProgramBatch(reader, true); ok; ok = builder.buildProgramBatch(reader, false)) {
        const auto frame = builder.frame();
        const std::size_t reports = (frame.size() + kReportSize - 1) / kReportSize;
        std::size_t words = 0;
        FrameDecoder<1000> d;
        d.decodeBytes(frame.data(), frame.size());
        const auto payload = d.take();
        const std::uint8_t* p = payload.data();
        for (std::size_t pos = 1; pos + kRecordOverhead <= payload.size(); pos += kRecordOverhead + p[pos]) {
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

// Share of one core the process takes over `span` while a connected worker
// waits with no request pending; negative on failure.
double idlePercent(std::chrono::milliseconds span) {
    auto board = std::make_shared<SimulatedBoard>(SimFaults{});
    BootloaderLink link;
    useSimBoard(link, board);
    if (!link.findDevice(kBootloaderVendorId, kBootloaderProductId)) return -1;
    link.startWorker();
    const std::clock_t cpu0 = std::clock();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(span);
    const std::clock_t cpu1 = std::clock();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    link.stopWorker();
    return 100.0 * (static_cast<double>(cpu1 - cpu0) / CLOCKS_PER_SEC) / wall;
}

struct Figures {
    double fast = 0;
    double usb = 0;
    double idle = -1;
};

Figures measure(const std::string& file, const std::vector<std::uint8_t>& data) {
    Figures f;
    f.fast = programPhaseSeconds(file, data, false);
    f.usb = programPhaseSeconds(file, data, true);
    f.idle = idlePercent(std::chrono::seconds(2));
    return f;
}

// The better of two rounds; a failed figure (0 s, or negative CPU) stays failed.
Figures best(const Figures& a, const Figures& b) {
    return {std::min(a.fast, b.fast), std::min(a.usb, b.usb), std::min(a.idle, b.idle)};
}

bool valid(const Figures& f) { return f.fast > 0 && f.usb > 0 && f.idle >= 0; }

} // namespace

int main() {
    // The simulated bus's own sleeps should wake on time.
    askForPreciseSleeps();
    const auto dir = std::filesystem::temp_directory_path() / "tarvane-bench-link";
    std::filesystem::create_directories(dir);
    const auto data = test::patternBytes(kImageBytes, 512);
    const auto hex = test::generateHex({{0x1D000000, data}});
    const std::string file = (dir / "image-512k.hex").string();
    std::ofstream(file, std::ios::binary) << hex.text;

    const double bound = boundSeconds(file);
    const double kb = kImageBytes / 1024.0;
    std::printf("program phase, 512 KiB in 16-byte records (%u records, batches of 11), best of %d rounds\n",
                hex.expected.records, kRounds);
    std::printf("  protocol bound with USB timing: %.3f s (%.1f KiB/s)\n", bound, kb / bound);

    // A burst of load on a shared machine spoils one round, seldom both.
    Figures figures = measure(file, data);
    for (int round = 1; round < kRounds; ++round) figures = best(figures, measure(file, data));
    std::filesystem::remove_all(dir);

    const auto cell = [&](double seconds, bool share) {
        char text[64];
        if (seconds <= 0) {
            std::snprintf(text, sizeof text, "failed");
        } else if (share) {
            std::snprintf(text, sizeof text, "%.3f s %6.1f KiB/s = %.1f %%", seconds, kb / seconds,
                          100.0 * bound / seconds);
        } else {
            std::snprintf(text, sizeof text, "%.3f s %6.1f KiB/s", seconds, kb / seconds);
        }
        return std::string(text);
    };
    const auto row = [](const char* label, const std::string& figure) {
        std::printf("  %-20s%s\n", label, figure.c_str());
    };
    row("no added latency:", cell(figures.fast, false));
    row("USB timing model:", cell(figures.usb, true));
    const auto cpu = [](double percent) {
        char text[64] = "failed";
        if (percent >= 0) std::snprintf(text, sizeof text, "%.3f %% of one core", percent);
        return std::string(text);
    };
    std::printf("idle connected worker, 2 s with no request pending\n");
    row("CPU:", cpu(figures.idle));

    return valid(figures) ? 0 : 1;
}
