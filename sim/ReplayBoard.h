#pragma once

#include "link/FrameCodec.h"
#include "sim/BoardModel.h"
#include "sim/ReplayScript.h"
#include "sim/SimRequest.h"

#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>

namespace tarvane {

// The board a trace recorded, acting again. The host's n-th connection meets
// the trace's n-th (one that sent no request does not count); in it, each request is answered as the first unused
// recorded request with the same bytes was (re-sends are identical frames,
// so the n-th send meets the n-th recording): the same reports, after the
// same delays, or nothing when nothing came. A request the trace never saw
// gets no answer and a note. Where the host lost the board, the connection
// is dropped once that request's answers are out.
class ReplayBoard final : public BoardModel {
public:
    using Note = std::function<void(const std::string&)>;

    ReplayBoard(std::vector<ReplayConnection> script, Note note);

    void connect() override;
    bool connectionClosed() const override;
    bool readingStopped() const override { return false; }
    Clock::time_point receiveReport(ReportView report, Clock::time_point now) override;
    bool takeReport(ReportBuffer report, Clock::time_point now) override;
    std::optional<Clock::time_point> nextReportTime() const override;
    std::uint32_t requestCount() const override;
    std::vector<std::uint8_t> flash() const override { return {}; }

    // Called for every request received, with the board locked, as the
    // simulated board's observer is (outcome: answered, silent or unanswered).
    void setRequestObserver(std::function<void(const SimRequest&)> observer);

private:
    struct Queued {
        Clock::time_point due;
        std::array<std::uint8_t, kReportSize> bytes{};
    };

    void queue(const std::vector<ReplayAnswer>& answers, Clock::time_point from);
    void handleRequest(std::span<const std::uint8_t> frame, Clock::time_point at);

    Note note_;
    std::vector<ReplayConnection> script_;
    mutable std::mutex mutex_;
    FrameDecoder<1000> decoder_;
    std::deque<Queued> queue_;
    std::vector<bool> used_;
    std::function<void(const SimRequest&)> observer_;
    std::size_t connections_ = 0;
    std::uint32_t requests_ = 0;
    std::uint32_t connectionRequests_ = 0;
    bool closing_ = false;
};

} // namespace tarvane
