// What --trace and the support report's recorder cost: the program phase of
// a 64 KiB image through the link's worker to the in-process simulated board
// with the full-speed USB timing model, without a trace, with every report
// traced to a file and with every report recorded in memory, side by side;
// then the window's path, where the recorder wraps a port that hands its
// writes to a thread of their own as the USB back-ends do; then the cost of
// one traced report on its own.
#include "bench/ProgramPhase.h"
#include "tests/support/HexGen.h"
#include "trace/TraceFormat.h"
#include "trace/TraceRecorder.h"
#include "trace/TracingPort.h"
#include "usb/ReportWriter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using namespace tarvane;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kImageBytes = 64 * 1024;
constexpr int kRounds = 3;
constexpr int kFastRounds = 10;

double programOnce(const std::string& file, const std::vector<std::uint8_t>& expected,
                   std::shared_ptr<TraceSink> trace) {
    return programPhaseSeconds(file, expected, true,
                               [&](PortOpener opener) { return tracedOpener(std::move(opener), trace); });
}

// The simulated board behind a writer thread, as the USB back-ends reach a
// board: a frame's reports go to the thread in one hand-over, and a read
// waits until the thread is idle, so one thread uses the board at a time.
class HandedOverPort final : public ReportPort {
public:
    HandedOverPort(std::unique_ptr<ReportPort> board, std::atomic<std::size_t>& handOvers)
        : board_(std::move(board)), writer_(std::make_unique<Sink>(*board_)), handOvers_(handOvers) {}

    bool writeReport(ReportView report) override {
        ReportBytes bytes{};
        std::copy(report.begin(), report.end(), bytes.begin());
        return writeReports(std::span(&bytes, 1));
    }
    bool writeReports(std::span<const ReportBytes> reports) override {
        handOvers_.fetch_add(1);
        return writer_.write(reports);
    }
    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!writer_.waitIdle(deadline)) return ReadResult::Timeout;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return board_->readReport(report, static_cast<int>(std::max<long long>(left, 0)));
    }

private:
    struct Sink final : ReportSink {
        explicit Sink(ReportPort& port) : board(port) {}
        bool write(const ReportTransfer& transfer, const std::atomic<bool>&) override {
            return board.writeReport(ReportView(transfer.data() + 1, kReportSize));
        }
        ReportPort& board;
    };

    // Declared first, so the writer's thread has ended before the board goes.
    std::unique_ptr<ReportPort> board_;
    ReportWriter writer_;
    std::atomic<std::size_t>& handOvers_;
};

PortOpener handedOver(PortOpener inner, std::atomic<std::size_t>& handOvers) {
    return [inner = std::move(inner), &handOvers](const DeviceAddress& address, std::uint16_t vendorId,
                                                  std::uint16_t productId,
                                                  std::string& detail) -> std::unique_ptr<ReportPort> {
        std::unique_ptr<ReportPort> port = inner(address, vendorId, productId, detail);
        if (!port) return nullptr;
        return std::make_unique<HandedOverPort>(std::move(port), handOvers);
    };
}

// The window's path: every report recorded in memory, over a writer thread;
// without a recorder when `recorder` is empty. `handOvers` counts the writer's.
double windowPathOnce(const std::string& file, const std::vector<std::uint8_t>& expected, bool usbTiming,
                      const std::shared_ptr<TraceRecorder>& recorder, std::atomic<std::size_t>& handOvers) {
    return programPhaseSeconds(file, expected, usbTiming, [&](PortOpener opener) {
        return tracedOpener(handedOver(std::move(opener), handOvers), recorder);
    });
}

// Microseconds one report takes to trace (format and buffer, with the file
// writes it causes, if any), over many.
constexpr int kReports = 200000;

double microsPerReport(TraceSink& sink) {
    std::array<std::uint8_t, kReportSize> report{};
    for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(i * 37);
    const std::uint32_t connection = sink.openConnection();
    const auto t0 = Clock::now();
    for (int i = 0; i < kReports; ++i) sink.report(i * 1000, i % 2 ? kToHost : kToBoard, report);
    sink.closeConnection(connection);
    return std::chrono::duration<double>(Clock::now() - t0).count() * 1e6 / kReports;
}

double microsPerFileReport(const std::string& path) {
    OpenedTrace opened = openTrace(path, {"tarvane-bench-trace", "", ""});
    if (!opened.trace) return -1;
    const double micros = microsPerReport(*opened.trace);
    return opened.trace->error().empty() ? micros : -1;
}

double microsPerRecordedReport() {
    // Bound wide enough that every report is kept, as in an update that fits.
    TraceRecorder recorder({"tarvane-bench-trace", "", ""}, std::size_t{kReports} * 256);
    const double micros = microsPerReport(recorder);
    return recorder.truncated() ? -1 : micros;
}

// The better of two figures; a failed one (0 s) stays failed.
double better(double a, double b) { return a <= 0 || b <= 0 ? 0 : std::min(a, b); }

} // namespace

int main() {
    askForPreciseSleeps();
    const auto dir = std::filesystem::temp_directory_path() / "tarvane-bench-trace";
    std::filesystem::create_directories(dir);
    const auto data = test::patternBytes(kImageBytes, 64);
    const std::string file = (dir / "image-64k.hex").string();
    std::ofstream(file, std::ios::binary) << test::generateHex({{0x1D000000, data}}).text;
    const std::string tracePath = (dir / "update.trace").string();

    std::uintmax_t traceBytes = 0;
    const auto tracedOnce = [&] {
        OpenedTrace opened = openTrace(tracePath, {"tarvane-bench-trace", "", "sim"});
        const double seconds = opened.trace ? programOnce(file, data, opened.trace) : 0;
        const bool whole = opened.trace && opened.trace->flush();
        opened.trace.reset();
        traceBytes = std::filesystem::file_size(tracePath);
        return whole ? seconds : 0;
    };
    std::size_t recordedBytes = 0;
    const auto recordedOnce = [&] {
        const auto recorder = std::make_shared<TraceRecorder>(TraceHeader{"tarvane-bench-trace", "", "sim"});
        const double seconds = programOnce(file, data, recorder);
        recordedBytes = recorder->text().size();
        return recorder->truncated() ? 0 : seconds;
    };
    // The window's path, with the USB timing model and answering at once;
    // without a recorder, then recording.
    struct WindowPath {
        double plain = 0;
        double recorded = 0;
        std::size_t plainHandOvers = 0;
        std::size_t recordedHandOvers = 0;
    };
    const auto windowPathRound = [&](bool usbTiming) {
        const auto recorder = std::make_shared<TraceRecorder>(TraceHeader{"tarvane-bench-trace", "", "sim"});
        std::atomic<std::size_t> recordedHandOvers{0};
        const double recordedSeconds = windowPathOnce(file, data, usbTiming, recorder, recordedHandOvers);
        std::atomic<std::size_t> plainHandOvers{0};
        const double plainSeconds = windowPathOnce(file, data, usbTiming, nullptr, plainHandOvers);
        return WindowPath{plainSeconds, recorder->truncated() ? 0 : recordedSeconds, plainHandOvers.load(),
                          recordedHandOvers.load()};
    };
    const auto betterPath = [](WindowPath a, const WindowPath& b) {
        a.plain = better(a.plain, b.plain);
        a.recorded = better(a.recorded, b.recorded);
        return a;
    };
    // The rounds alternate, so that a burst of load on a shared machine hits all alike.
    double plain = programOnce(file, data, nullptr);
    double traced = tracedOnce();
    double recorded = recordedOnce();
    WindowPath windowUsb = windowPathRound(true);
    WindowPath windowFast = windowPathRound(false);
    for (int round = 1; round < kRounds; ++round) {
        plain = better(plain, programOnce(file, data, nullptr));
        traced = better(traced, tracedOnce());
        recorded = better(recorded, recordedOnce());
        windowUsb = betterPath(windowUsb, windowPathRound(true));
        windowFast = betterPath(windowFast, windowPathRound(false));
    }
    // Answered at once, the phase lasts a tenth of a second: more rounds steady it.
    for (int round = kRounds; round < kFastRounds; ++round) windowFast = betterPath(windowFast, windowPathRound(false));
    const double perReport = microsPerFileReport(tracePath);
    const double perRecorded = microsPerRecordedReport();
    std::filesystem::remove_all(dir);

    const double kb = kImageBytes / 1024.0;
    std::printf("program phase, 64 KiB in 16-byte records, USB timing model (best of %d rounds)\n", kRounds);
    const auto cell = [&](double seconds) {
        char text[64] = "failed";
        if (seconds > 0) std::snprintf(text, sizeof text, "%.3f s %6.1f KiB/s", seconds, kb / seconds);
        return std::string(text);
    };
    std::printf("  %-16s%-24s%-24s%s\n", "", "without a trace", "traced to a file", "recorded in memory");
    std::printf("  %-16s%-24s%-24s%s\n", "program phase:", cell(plain).c_str(), cell(traced).c_str(),
                cell(recorded).c_str());
    if (plain > 0 && traced > 0 && recorded > 0) {
        std::printf("  difference: %+.1f %% traced (file: %.1f MiB), %+.1f %% recorded (memory: %.1f MiB)\n",
                    100.0 * (traced - plain) / plain, static_cast<double>(traceBytes) / (1024.0 * 1024.0),
                    100.0 * (recorded - plain) / plain, static_cast<double>(recordedBytes) / (1024.0 * 1024.0));
    }
    std::printf("the window's path: recorded in memory, each frame handed to a writer thread as over USB "
                "(best of %d rounds, %d answered at once)\n",
                kRounds, kFastRounds);
    std::printf("  %-20s%-24s%-24s%s\n", "", "without the recorder", "recorded", "difference");
    const auto pathRow = [&](const char* label, const WindowPath& path) {
        char difference[32] = "";
        if (path.plain > 0 && path.recorded > 0) {
            std::snprintf(difference, sizeof difference, "%+.1f %%", 100.0 * (path.recorded - path.plain) / path.plain);
        }
        std::printf("  %-20s%-24s%-24s%s\n", label, cell(path.plain).c_str(), cell(path.recorded).c_str(), difference);
    };
    pathRow("USB timing model:", windowUsb);
    pathRow("no added latency:", windowFast);
    std::printf("  %-20s%-24zu%zu\n", "hand-overs:", windowFast.plainHandOvers, windowFast.recordedHandOvers);
    if (perReport >= 0) std::printf("one traced report, formatted, buffered and written: %.2f us\n", perReport);
    if (perRecorded >= 0) std::printf("one recorded report, formatted and kept in memory: %.2f us\n", perRecorded);
    const bool windowWhole = windowUsb.plain > 0 && windowUsb.recorded > 0 && windowFast.plain > 0 &&
                             windowFast.recorded > 0;
    return plain > 0 && traced > 0 && recorded > 0 && windowWhole && perReport >= 0 && perRecorded >= 0 ? 0 : 1;
}
