#include "link/AnswerRule.h"

#include "link/Protocol.h"

namespace tarvane {

AnswerUse answerUse(std::uint8_t command, bool awaiting, std::uint8_t awaited) {
    const bool windowCommand = command >= CMD_QUERY && command <= CMD_VERIFY;
    if (windowCommand && (!awaiting || command != awaited)) return AnswerUse::Ignored;
    if (command == CMD_PROGRAM) return AnswerUse::NextBatch;
    return windowCommand ? AnswerUse::Posted : AnswerUse::EndsRequest;
}

} // namespace tarvane
