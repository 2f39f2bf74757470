#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvane {

// What the link's worker does with a whole answer frame.
enum class AnswerUse {
    // An answer to a request no longer awaited (a board answering twice, a
    // late answer after the link gave up): it must not start a phase again
    // nor cancel the re-sends of the request now awaited.
    Ignored,
    // Taken and handed to the UI thread.
    Posted,
    // A program batch answered: the next one goes out, or the file's end is posted.
    NextBatch,
    // An unknown answer ends the awaited request without a word; the
    // window's watchdog notices.
    EndsRequest,
};

// `awaiting`: a request is out and unanswered; `awaited`: its command.
AnswerUse answerUse(std::uint8_t command, bool awaiting, std::uint8_t awaited);

// The answer's bytes after its command byte, from a payload FrameDecoder::take() handed out.
inline std::vector<std::uint8_t> answerData(std::span<const std::uint8_t> payload) {
    if (payload.empty()) return {};
    return std::vector<std::uint8_t>(payload.begin() + 1, payload.end());
}

} // namespace tarvane
