#include "sim/SimReportPort.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvane {

namespace {

using Clock = SimulatedBoard::Clock;

class SimReportPort final : public ReportPort {
public:
    SimReportPort(std::shared_ptr<SimulatedBoard> board, SimWaits waits) : board_(std::move(board)), waits_(waits) {
        board_->connect();
    }

    bool writeReport(ReportView report) override {
        if (board_->connectionClosed()) return false;
        // Like a HID write, this returns once the report has crossed the bus.
        waitUntil(board_->receiveReport(report, Clock::now()));
        return true;
    }

    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            if (board_->connectionClosed()) {
                // A vanished board must not turn the worker's polling into a busy loop.
                std::this_thread::sleep_until(deadline);
                return ReadResult::Error;
            }
            const auto now = Clock::now();
            if (board_->takeReport(report, now)) return ReadResult::Report;
            if (now >= deadline) return ReadResult::Timeout;
            // Only this thread feeds the board, so nothing new can arrive while it sleeps.
            const auto next = board_->nextReportTime();
            waitUntil(next ? std::min(*next, deadline) : deadline);
        }
    }

private:
    void waitUntil(Clock::time_point t) const {
        if (waits_ == SimWaits::Sleep) {
            std::this_thread::sleep_until(t);
            return;
        }
        // Sleeps here have been seen to overshoot by up to 3 ms.
        constexpr auto kSpin = std::chrono::milliseconds(4);
        if (t - Clock::now() > kSpin) std::this_thread::sleep_until(t - kSpin);
        while (Clock::now() < t) std::this_thread::yield();
    }

    std::shared_ptr<SimulatedBoard> board_;
    const SimWaits waits_;
};

} // namespace

std::unique_ptr<ReportPort> openSimReportPort(std::shared_ptr<SimulatedBoard> board, SimWaits waits) {
    if (!board) return nullptr;
    return std::make_unique<SimReportPort>(std::move(board), waits);
}

} // namespace tarvane
