#include "link/ResendHold.h"

namespace tarvane {

void ResendHold::sent(std::int64_t nowMs, bool first) {
    if (first) {
        // A new request is out: whatever was waited out is over.
        answersDue_ = 0;
        sends_ = 0;
        firstSendMs_ = nowMs;
    }
    ++sends_;
    lastSendMs_ = nowMs;
}

void ResendHold::answered(std::int64_t nowMs, std::uint8_t command) {
    if (sends_ > 1) {
        // Which send was answered is unknown; the longest it can have taken
        // is from the first. A quarter more covers a board that is as slow
        // again on the last send.
        const std::int64_t took = nowMs - firstSendMs_;
        untilMs_ = lastSendMs_ + took + took / 4;
        answersDue_ = sends_ - 1;
        command_ = command;
    }
    sends_ = 0;
}

bool ResendHold::active(std::int64_t nowMs) {
    if (answersDue_ > 0 && nowMs < untilMs_) return true;
    answersDue_ = 0;
    return false;
}

bool ResendHold::holds(std::int64_t nowMs, std::uint8_t command) {
    // A request of another command goes out at once: an answer to the one
    // before can never be taken for its answer.
    return active(nowMs) && command == command_;
}

bool ResendHold::swallows(std::int64_t nowMs) {
    if (!active(nowMs)) return false;
    --answersDue_;
    return true;
}

} // namespace tarvane
