#pragma once

#include <cstdint>

namespace tarvane {

// Requests carry no number, so when one went out more than once only timing
// tells its answers apart. Once such a request is answered, its other answers
// may still be on their way; taken for the answer to the next request of the
// same command (the next program batch), they would hide that request's loss
// and it would never be sent again. So that next request waits, and every
// answer meanwhile is dropped, until the other answers have all come or about
// as long as the taken answer took has passed since the last send. A request
// answered after its first send holds nothing back.
//
// The worker's own; times are milliseconds of one steady clock.
class ResendHold {
public:
    // A frame went out; `first`: the first send of a new request.
    void sent(std::int64_t nowMs, bool first);
    // The request was answered now, by an answer of `command`.
    void answered(std::int64_t nowMs, std::uint8_t command);
    // True while a request of `command` must not go out yet.
    bool holds(std::int64_t nowMs, std::uint8_t command);
    // True for an answer that arrives while the hold lasts: it is one of the
    // other answers, and dropped.
    bool swallows(std::int64_t nowMs);
    void clear() { *this = ResendHold{}; }

private:
    bool active(std::int64_t nowMs);

    std::int64_t firstSendMs_ = 0;
    std::int64_t lastSendMs_ = 0;
    std::uint32_t sends_ = 0;
    std::uint8_t command_ = 0;
    // Other answers of the answered request that may still come.
    std::uint32_t answersDue_ = 0;
    std::int64_t untilMs_ = 0;
};

} // namespace tarvane
