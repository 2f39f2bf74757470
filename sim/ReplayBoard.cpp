#include "sim/ReplayBoard.h"

#include <algorithm>
#include <cstdio>

namespace tarvane {

ReplayBoard::ReplayBoard(std::vector<ReplayConnection> script, Note note)
    : note_(std::move(note)), script_(std::move(script)) {}

void ReplayBoard::setRequestObserver(std::function<void(const SimRequest&)> observer) {
    const std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void ReplayBoard::connect() {
    const std::lock_guard lock(mutex_);
    // A connection that sent nothing (the probes of --wait) does not use up a recorded one.
    if (connections_ == 0 || connectionRequests_ > 0) ++connections_;
    connectionRequests_ = 0;
    decoder_.reset();
    queue_.clear();
    closing_ = false;
    used_.clear();
    if (connections_ > script_.size()) {
        if (note_) {
            note_("tarvane-sim: the trace has " + std::to_string(script_.size()) + " connection(s); connection " +
                  std::to_string(connections_) + " gets no answers");
        }
        return;
    }
    const ReplayConnection& recorded = script_[connections_ - 1];
    used_.assign(recorded.requests.size(), false);
    queue(recorded.opening, Clock::now());
    closing_ = recorded.lostAtStart;
}

bool ReplayBoard::connectionClosed() const {
    const std::lock_guard lock(mutex_);
    return closing_ && queue_.empty();
}

BoardModel::Clock::time_point ReplayBoard::receiveReport(ReportView report, Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    if (closing_) return now;
    decoder_.decodeBytes(report.data(), report.size());
    if (const auto frame = decoder_.take(); !frame.empty()) {
        handleRequest(frame, now);
        decoder_.reset();
    }
    return now;
}

void ReplayBoard::handleRequest(std::span<const std::uint8_t> frame, Clock::time_point at) {
    ++requests_;
    ++connectionRequests_;
    const std::uint8_t* payload = frame.data();
    const std::size_t length = frame.size();
    SimRequest logged{at, length > 0 ? payload[0] : std::uint8_t{0}, length, SimOutcome::Unanswered};

    const ReplayRequest* match = nullptr;
    if (connections_ <= script_.size()) {
        const auto& recorded = script_[connections_ - 1].requests;
        for (std::size_t i = 0; i < recorded.size(); ++i) {
            const std::vector<std::uint8_t>& bytes = recorded[i].payload;
            if (used_[i] || !std::equal(bytes.begin(), bytes.end(), payload, payload + length)) continue;
            used_[i] = true;
            match = &recorded[i];
            break;
        }
    }
    if (match == nullptr) {
        if (note_) {
            char text[96];
            std::snprintf(text, sizeof text, "tarvane-sim: request not in the trace: command 0x%02X, %zu bytes",
                          logged.command, length);
            note_(text);
        }
    } else {
        queue(match->answers, at);
        closing_ = match->lostAfter;
        logged.outcome = match->answers.empty() ? SimOutcome::Silent : SimOutcome::Answered;
    }
    if (observer_) observer_(logged);
}

void ReplayBoard::queue(const std::vector<ReplayAnswer>& answers, Clock::time_point from) {
    for (const ReplayAnswer& answer : answers) {
        Queued q{from + answer.delay, answer.bytes};
        // In time order; equal times keep their recorded order.
        const auto at = std::upper_bound(queue_.begin(), queue_.end(), q.due,
                                         [](Clock::time_point t, const Queued& e) { return t < e.due; });
        queue_.insert(at, q);
    }
}

bool ReplayBoard::takeReport(ReportBuffer report, Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    if (queue_.empty() || queue_.front().due > now) return false;
    std::copy(queue_.front().bytes.begin(), queue_.front().bytes.end(), report.begin());
    queue_.pop_front();
    return true;
}

std::optional<BoardModel::Clock::time_point> ReplayBoard::nextReportTime() const {
    const std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    return queue_.front().due;
}

std::uint32_t ReplayBoard::requestCount() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

} // namespace tarvane
