#include "sim/SimReportPort.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvane {

namespace {

using Clock = SimulatedBoard::Clock;

class SimReportPort final : public ReportPort {
public:
    explicit SimReportPort(std::shared_ptr<SimulatedBoard> board) : board_(std::move(board)) { board_->connect(); }

    bool writeReport(ReportView report) override {
        if (board_->connectionClosed()) return false;
        // Like a HID write, this returns once the report has crossed the bus.
        std::this_thread::sleep_until(board_->receiveReport(report, Clock::now()));
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
            std::this_thread::sleep_until(next ? std::min(*next, deadline) : deadline);
        }
    }

private:
    std::shared_ptr<SimulatedBoard> board_;
};

} // namespace

std::unique_ptr<ReportPort> openSimReportPort(std::shared_ptr<SimulatedBoard> board) {
    if (!board) return nullptr;
    return std::make_unique<SimReportPort>(std::move(board));
}

} // namespace tarvane
