#pragma once

#include "link/FrameCodec.h"

#include <cstdint>
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

// The answer's bytes after its command byte, without the CRC.
template <std::size_t Size, std::size_t Limit>
std::vector<std::uint8_t> answerData(const FrameDecoder<Size, Limit>& decoder) {
    const std::size_t length = decoder.payloadLength();
    return std::vector<std::uint8_t>(decoder.rxBuffer.begin() + 1,
                                     decoder.rxBuffer.begin() + static_cast<std::ptrdiff_t>(length > 0 ? length : 1));
}

} // namespace tarvane
