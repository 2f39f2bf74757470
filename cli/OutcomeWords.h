#pragma once

#include "cli/ExitStatus.h"
#include "update/UpdateEvents.h"

#include <string_view>

namespace tarvane {

// How tarvane-update reports an outcome: its exit status, the word of its
// JSON result and the words of its summary line of one board.
struct OutcomeWords {
    UpdateOutcome outcome;
    ExitStatus exitStatus;
    std::string_view resultWord;
    std::string_view summaryWords;
};

const OutcomeWords& outcomeWords(UpdateOutcome outcome);

} // namespace tarvane
