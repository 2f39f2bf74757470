#pragma once

#include "link/FrameCodec.h"
#include "sim/BoardModel.h"
#include "sim/BoardFlash.h"
#include "sim/SimFaults.h"
#include "sim/SimRequest.h"
#include "usb/ReportPort.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tarvane {

// A board in bootloader mode, without USB: it takes the host's 64-byte
// reports, carries out each request on its flash, and queues its answer as
// reports stamped with the time they may be read. Transports (the in-process
// port, tarvane-sim's TCP server) move the reports and honour those times.
// Thread-safe: tests inspect it while a link's worker drives it.
class SimulatedBoard final : public BoardModel {
public:

    static constexpr std::uint8_t kVersionMajor = 1;
    static constexpr std::uint8_t kVersionMinor = 2;
    // The command byte of answers falsified by SimFaults::unknownAnswer.
    static constexpr std::uint8_t kUnknownAnswerCommand = 0x7F;
    // Verify ranges longer than this are refused: the flash is 512 KiB, and a
    // runaway length must not stall the board for seconds.
    static constexpr std::uint32_t kMaxVerifyLength = 16u << 20;
    // The in-memory request log stops growing here; the counters go on.
    static constexpr std::size_t kMaxLoggedRequests = 1u << 20;

    explicit SimulatedBoard(SimFaults faults = {});
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    // A host connects. The flash stays as it is, like a real board's; the
    // frame decoder, pending answers, extended address and timing start fresh,
    // and a connection closed by SimFaults::closeAfter is open again.
    void connect() override;
    // SimFaults::closeAfter has ended this connection; reports are ignored until connect().
    bool connectionClosed() const override;
    // SimFaults::stopReadingAfter has been reached: transports must read no
    // more reports, though they still deliver the answers already queued.
    bool readingStopped() const override;

    // Takes one report that reached the board at `now`. Returns when the report
    // has crossed the bus: `now` itself, or its 1 ms slot with the USB timing model.
    Clock::time_point receiveReport(ReportView report, Clock::time_point now) override;
    Clock::time_point receiveReport(ReportView report) { return receiveReport(report, Clock::now()); }

    // The next queued answer report, whatever its time (for tests of the board's logic).
    bool takeReport(ReportBuffer report);
    // The next queued answer report if it is due at `now`.
    bool takeReport(ReportBuffer report, Clock::time_point now) override;
    // When the next queued report is due; nothing when none is queued.
    std::optional<Clock::time_point> nextReportTime() const override;

    // Inspection. The counters count every request that arrived whole,
    // whatever became of it (dropped, ignored, refused), so a test sees how
    // often the host sent.
    // Programs records as a program request would, without a host: a board
    // that already holds a file.
    void preload(const std::uint8_t* records, std::size_t n) { flash_.program(records, n); }
    std::vector<std::uint8_t> flash() const override; // the 512 KiB from 0x1D000000
    std::uint8_t flashByte(std::uint32_t address) const; // any alias; 0xFF outside
    std::uint16_t flashCrc(std::uint32_t start, std::uint32_t length) const;
    std::vector<SimRequest> requestLog() const;
    std::uint32_t requestCount() const override;
    std::uint32_t requestCount(std::uint8_t command) const;
    std::uint32_t answerCount() const;
    std::uint32_t connectionCount() const;
    Clock::time_point startTime() const { return startTime_; }
    const SimFaults& faults() const { return faults_; }

    // Called for every request received, with the board locked: the observer
    // must not call back into the board. Set it before traffic starts.
    void setRequestObserver(std::function<void(const SimRequest&)> observer);

private:
    struct Answer {
        std::array<std::uint8_t, 3> bytes{};
        std::size_t length = 0;
    };
    struct QueuedReport {
        Clock::time_point due;
        std::array<std::uint8_t, kReportSize> bytes{};
    };

    void handleRequest(const std::uint8_t* payload, std::size_t length, Clock::time_point at);
    SimOutcome handleAllowed(const std::uint8_t* payload, std::size_t length, Clock::time_point at);
    // Carries out a request; fills `answer` and `work` (board time spent) and returns the outcome.
    SimOutcome execute(const std::uint8_t* payload, std::size_t length, Answer& answer, Clock::duration& work);
    void queueAnswer(const Answer& answer, Clock::time_point due);
    void record(std::uint8_t command, std::size_t length, Clock::time_point at, SimOutcome outcome);

    const SimFaults faults_;
    const Clock::time_point startTime_;

    mutable std::mutex mutex_;
    BoardFlash flash_;
    // Program requests of 11 records run far past the 256 bytes of an answer.
    FrameDecoder<1000> decoder_;
    std::deque<QueuedReport> queue_;
    std::vector<SimRequest> log_;
    std::function<void(const SimRequest&)> observer_;

    std::array<std::uint32_t, 256> perCommand_{};
    std::uint32_t requests_ = 0;
    std::uint32_t answers_ = 0;
    std::uint32_t connections_ = 0;
    std::uint32_t connectionRequests_ = 0;
    bool closed_ = false;

    // Timing model: end of the last inbound slot, of the last outbound slot,
    // and of the work in progress.
    Clock::time_point lastIn_{};
    Clock::time_point lastOut_{};
    Clock::time_point busyUntil_{};
};

} // namespace tarvane
